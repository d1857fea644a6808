#pragma once

#include "platform/ProgramFolder.h"

#include <QString>

// An installed program keeps its files in the user's own folder, which it lays out at its first
// start the way the build lays out a program folder beside the executable.
namespace FolderSetup {

// For a user folder: creates whatever is missing of the folder, ★MailData and 添付フォルダ, and
// copies Sound/Kouka.wav from `sharedFolder`. Nothing existing is replaced; other choices are
// left alone (a program folder beside the program is the user's to lay out). Returns the text to
// show the user when the folder cannot be used, else an empty text.
QString prepare(const ProgramFolder::Choice &choice, const QString &sharedFolder);

// Takes every right of the group and of others from ★MailData and 添付フォルダ of
// `programFolder` and from everything in them, as an earlier copy of the program left them
// readable to every account of the machine. A folder already closed to others is left as it is
// with all it holds; symbolic links inside are not followed; what cannot be changed (a file
// system without modes, another user's file) is left as it is.
void makePrivate(const QString &programFolder);

} // namespace FolderSetup
