#pragma once

#include <QObject>

class QLineEdit;
class QListWidget;
class QPushButton;

// The attachment controls of the compose and the reply window: a button that picks the first
// file, one that adds a further file (and shows the list), one that drops them all, the field
// holding the paths joined by "," and the list of the paths. The window makes and places the
// controls; this object gives them their behaviour.
class AttachmentControls : public QObject
{
    Q_OBJECT
public:
    AttachmentControls(QPushButton *attach, QPushButton *add, QPushButton *cancel, QLineEdit *paths, QListWidget *list);

    // "添付": enables "追加", asks for a file and makes it the attachment; "添付" is disabled
    // afterwards, whether or not a file was chosen.
    void attach();
    // "追加": shows the list; with an attachment already there, asks for one more.
    void add();
    // "取り消し": no attachment, only "添付" stays usable.
    void cancel();

private:
    QString askForFile() const;

    QPushButton *m_attach, *m_add, *m_cancel;
    QLineEdit *m_paths;
    QListWidget *m_list;
};
