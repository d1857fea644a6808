#include "VmimeTransport.h"

struct VmimeTransport::Impl
{
    QByteArray lastMessage;
};

VmimeTransport::VmimeTransport() : d(std::make_unique<Impl>()) {}
VmimeTransport::~VmimeTransport() = default;

void VmimeTransport::NMailInitializeWinSock() {}
void VmimeTransport::NMailSetOption(int, int) {}
int VmimeTransport::NMailPop3Connect(const QByteArray &) { return -1; }
int VmimeTransport::NMailPop3Authenticate(int, const QByteArray &, const QByteArray &, int) { return -1; }
int VmimeTransport::NMailPop3GetMailStatus(int, int, QByteArray &, QByteArray &, QByteArray &, QByteArray &, int) { return -1; }
int VmimeTransport::NMailPop3GetMailSize(int, int) { return 0; }
int VmimeTransport::NMailPop3GetMail(int, int, QByteArray &, QByteArray &, QByteArray &, QByteArray &, QByteArray &, int, int) { return -1; }
int VmimeTransport::NMailAttachmentFileFirst(int, QByteArray &, QByteArray &, QByteArray &, QByteArray &, QByteArray &, const QString &, const QString &, const QByteArray &, int) { return 0; }
int VmimeTransport::NMailAttachmentFileClose(int) { return 0; }
int VmimeTransport::NMailPop3DeleteMail(int, int) { return -1; }
int VmimeTransport::NMailPop3Close(int) { return 0; }
int VmimeTransport::NMailSmtpSendMail(const QByteArray &, const QByteArray &, const QByteArray &, const QByteArray &, const QByteArray &, const QString &, int) { return -1; }
QByteArray VmimeTransport::NMailGetMessage() { return d->lastMessage; }
void VmimeTransport::NMailEndWinSock() {}
