#pragma once

#include "transport/MimeWriter.h"

class HistoryRecord;

namespace ReplyThread {

// The thread that a reply to record `n` of history `history` (1 received, 2 sent) joins, from the
// header of the mail's original; empty for a record without one.
MimeWriter::Thread of(int history, int n, const HistoryRecord &record);

} // namespace ReplyThread
