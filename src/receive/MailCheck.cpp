#include "MailCheck.h"

#include "IncomingMail.h"
#include "app/AccountSettings.h"
#include "app/CertificateForm.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "kit/BackgroundWork.h"
#include "kit/WindowKit.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "StoredMails.h"
#include "store/HistoryFile.h"
#include "store/OriginalWriter.h"
#include "store/Originals.h"
#include "platform/FileError.h"
#include "transport/ServerAddress.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

// Mails handled before their originals, records and deletions are made safe together.
constexpr int kBatch = 100;

const QString kChecking = QStringLiteral("メールのチェックをしています。");

QByteArray cutAtNul(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

// Answers the message boxes of a quiet check: none is shown, the first one's text is kept.
class QuietPrompter final : public Prompter
{
public:
    QString first;

    int message(const QString &text, const QString &, Buttons buttons, Icon) override
    {
        if (first.isEmpty())
            first = text;
        return buttons == Buttons::Ok ? Ok : buttons == Buttons::OkCancel ? Cancel : No;
    }
    QString openFileName(const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &) override { return {}; }
};

void showStoreFailure(const QString &reason)
{
    MsgBox(QStringLiteral("受信したメールを保存できませんでした。メールはサーバーに残してあります。"
                          "原因を取り除いてから、もう一度受信して下さい。\n")
               + reason,
           Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

// One run of the mail check, from the connection to the announcement.
//
// A mail is stored in steps, each on the disk before the next begins, a batch of mails at a
// time: its original goes into the Maildir (written, forced to the disk, renamed into cur/, the
// folder forced: from here on the mail is kept); the record of stored mails names it by the
// server's unique id; the index of originals gets its entry; the received history its record;
// then the deletion is asked for (the server applies it at QUIT). Whatever a crash or a power
// cut interrupts, the next check finds on the disk what it needs: an original named by the
// record of stored mails but not yet in the index, or an entry of the index without a record,
// is stored then, and a mail of the server that the record names is not fetched again. An
// original of an interrupted check that nothing names yet is removed: its mail is still on the
// server. A mail the server refuses (or sends short) stays there and the check goes on; a lost
// connection, or a mail that cannot be stored, ends the check.
class MailCheckSession
{
public:
    MailCheckSession(MailTransport &transport, const MailCheck::Options &options)
        : m_transport(transport), m_account(options.account ? *options.account : AccountSettings::instance()),
          m_quiet(options.quiet), m_stop(options.stop), m_originals(Originals::Kind::Received),
          m_writer(m_originals.maildir())
    {
        if (!m_quiet)
            Forms::mainForm();
    }

    void run()
    {
        if (connect()) {
            if (takeAccount()) {
                login();
                if (m_count >= 0 && prepare()) {
                    if (m_count > 0)
                        listMails();
                    fetchAll();
                }
                reportFetchFailures();
                reportLoginFailure();
            }
            close();
        }
        finish();
    }

private:
    struct Staged
    {
        int number = 0; // on the server; 0 for a mail a crash left on the disk only
        IncomingMail::StagedMail mail;
        QString original; // its name in the Maildir
    };

    // Message boxes of the check let the user act meanwhile, also close the main window.
    void setHelp(const QString &text)
    {
        if (m_quiet)
            return; // the help line belongs to what the user does
        BackgroundWork::onWindowThread([text] {
            if (MainForm *main = Forms::existingMainForm())
                main->Label2->setText(text);
        });
    }

public:
    // In a few words for the status line, what kept a quiet check from its end; empty when
    // nothing did.
    QString failure() const
    {
        if (m_account.Pop3Server.isEmpty())
            return QStringLiteral("POP3サーバーが設定されていません");
        if (m_handle < 0 && !m_connected)
            return QStringLiteral("サーバーに接続できません");
        if (m_noAccount)
            return QStringLiteral("IDとパスワードが保存されていません");
        if (m_count < 0)
            return m_transport.refusedCertificate() ? QStringLiteral("サーバーの証明書を確かめて下さい")
                                                    : QStringLiteral("ログインできません");
        if (m_stopped && !m_stopAsked)
            return QStringLiteral("メールを受信できませんでした");
        if (m_failedFetches > 0 || m_withoutId > 0)
            return QStringLiteral("受信できなかったメールがあります");
        return QString();
    }
    int stored() const { return m_count < 0 ? m_count : m_kept; }

private:

    QString failureText() { return TextRules::CutAtNul(Cp932::toUnicode(m_transport.NMailGetMessage())); }

    // False when there is no connection; the status box then stays as it was, as nothing was
    // checked: without a server the server dialog opens as at start-up, a server that cannot be
    // reached is reported with the transport's words.
    bool connect()
    {
        if (m_account.Pop3Server.isEmpty()) {
            m_count = -1;
            if (m_quiet)
                return false;
            OptionForm *dialog = Forms::optionForm();
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
            return false;
        }
        // Said before the connection is asked for, which may take until the time-out.
        setHelp(kChecking);
        Kit::keepWindowsAlive();
        return open();
    }

    bool open()
    {
        m_handle = m_transport.NMailPop3Connect(Cp932::fromUnicode(m_account.Pop3Server));
        if (m_handle < 0) {
            m_count = -1;
            MsgBox(failureText(), Prompter::Buttons::Ok, Prompter::Icon::None, QStringLiteral("エラー"));
            return false;
        }
        m_connected = true;
        return true;
    }

    // The account confirmed in the ID dialog during this run, else the saved one. When the ID or
    // the password is missing the dialog asks for them and the same click goes on after "OK";
    // "Cancel" ends the check as one that checked nothing (false).
    bool takeAccount()
    {
        for (;;) {
            const IdPassFile::Account account = IdPassFile::account(m_account);
            BackgroundWork::onWindowThread([id = account.id, password = account.password] {
                IdPassForm *dialog = Forms::idPassForm();
                dialog->IdText->setText(id);
                dialog->PassText->setText(password);
            });
            m_account.AccountId = account.id;
            m_account.AccountPassword = account.password;
            if (!account.id.isEmpty() && !account.password.isEmpty())
                return m_handle >= 0 || open();
            // A check nobody asked for opens no window: the next click on "受信" asks.
            if (m_quiet) {
                m_count = -1;
                m_noAccount = true;
                return false;
            }
            // The user may take a while, longer than a server waits for a login: the connection
            // is made again after "OK".
            if (m_handle >= 0)
                m_transport.NMailPop3Close(m_handle);
            m_handle = -1;
            if (!IdPassForm::askForCheck()) {
                m_count = -1; // nothing was checked
                return false;
            }
        }
    }

    void login()
    {
        // A quiet check that finds nothing leaves the list as it is.
        if (m_quiet)
            m_incoming.clearListFirst = true;
        else
            BackgroundWork::onWindowThread([] { Forms::tyakuForm()->clearList(); });
        m_count = authenticate();
        // A server certificate the user trusts just now: the same click goes on, on a new
        // connection. Declined, the check ends as one that could not connect.
        while (m_count < 0 && !m_quiet) {
            const CertificateForm::Answer answer = CertificateForm::askAfterFailure(m_transport);
            if (answer != CertificateForm::Answer::Trusted) {
                m_declined = answer == CertificateForm::Answer::Declined;
                break;
            }
            m_transport.NMailPop3Close(m_handle);
            m_handle = m_transport.NMailPop3Connect(Cp932::fromUnicode(m_account.Pop3Server));
            if (m_handle < 0)
                break;
            m_count = authenticate();
        }
        m_sinceRepaint.start();
    }

    int authenticate()
    {
        return m_transport.NMailPop3Authenticate(m_handle, Cp932::fromUnicode(m_account.AccountId),
                                                 Cp932::fromUnicode(m_account.AccountPassword),
                                                 m_account.UseApop != 0 ? -1 : 0);
    }

    // The folder for the originals, the record of stored mails, and what an interrupted check
    // left unfinished. False (the check then fetches nothing) when any of it fails.
    bool prepare()
    {
        QString problem;
        if (!m_originals.maildir().ensure(&problem)) {
            fail(problem);
            return false;
        }
        const ServerAddress server = ServerAddress::parse(Cp932::fromUnicode(m_account.Pop3Server), true);
        m_record.emplace(ProgramFolder::storedMailsRecord(), m_account.AccountId + u'@' + server.display);
        if (!m_record->load()) {
            m_record.reset(); // unreadable: stored mails may come again, none is lost
            if (m_account.LeaveOnServer) {
                fail(QStringLiteral("受信済みのメールの記録（%1）を読めないため、サーバーに残したメールを区別できません。")
                         .arg(QDir::toNativeSeparators(ProgramFolder::storedMailsRecord())));
                return false;
            }
        }
        m_records = History::RecordCount(ProgramFolder::receivedHistory());
        return recover();
    }

    // Finishes storing what an interrupted check left on the disk: these mails are new mail
    // of this check. Nothing is deleted on the server until it is done.
    bool recover()
    {
        Maildir &maildir = m_originals.maildir();
        const QFileInfo marker(unfinishedMarker());
        QStringList waiting;
        if (marker.exists() || m_originals.entryCount() != m_records)
            waiting = m_originals.reconcile();
        if (marker.exists()) {
            maildir.discardTemporary();
            QSet<QString> indexed;
            for (const Originals::Entry &e : m_originals.entries())
                indexed.insert(e.name);
            const QStringList present = maildir.namesSince();
            const QSet<QString> there(present.cbegin(), present.cend());
            // Kept and named by the record of stored mails, but the index never got them.
            QStringList named;
            if (m_record)
                for (const QString &name : m_record->originals())
                    if (!indexed.contains(name) && there.contains(name))
                        named.append(name);
            std::sort(named.begin(), named.end(), deliveredBefore);
            if (!named.isEmpty()) {
                QList<Originals::Link> links;
                for (const QString &name : std::as_const(named))
                    links.append({name, QByteArray()});
                QString problem;
                if (!m_originals.link(m_records + int(waiting.size()) + 1, links, &problem)) {
                    fail(problem);
                    return false;
                }
                waiting += named;
                for (const QString &name : std::as_const(named))
                    indexed.insert(name);
            }
            // Kept but named nowhere: their mails are still on the server.
            const QStringList recordedNames = m_record ? m_record->originals() : QStringList();
            const QSet<QString> recorded(recordedNames.cbegin(), recordedNames.cend());
            for (const QString &name : maildir.namesSince(marker.lastModified().addSecs(-2)))
                if (!indexed.contains(name) && !recorded.contains(name))
                    maildir.remove(name);
        }
        for (const QString &name : std::as_const(waiting)) {
            const std::optional<QByteArray> kept = Maildir::read(maildir.find(name));
            RetrievedMail mail;
            QByteArray subject, date, from, header, body;
            if (!kept || m_transport.readKeptMail(*kept, subject, date, from, header, body) < 0) {
                // Without its bytes it cannot be stored: its entry goes, so that the next record
                // does not take it; the file stays where it is.
                m_originals.dropEntry(m_records + int(m_staged.size()) + 1, nullptr);
                continue;
            }
            mail = RetrievedMail{cutAtNul(subject), cutAtNul(date), cutAtNul(from), cutAtNul(header), cutAtNul(body)};
            Staged staged;
            staged.original = name;
            if (!stage(staged, mail))
                return false;
        }
        return commit();
    }

    // Which mails of the server to fetch: those an earlier check stored are deleted (or, when
    // mail is left on the server, just passed over) without being stored again.
    void listMails()
    {
        QSet<QByteArray> onServer;
        for (int number = 1; number <= m_count; ++number) {
            const QByteArray id = m_transport.uniqueId(m_handle, number);
            if (id.isEmpty()) {
                // Without a unique id a mail left on the server could not be told from a new one.
                if (m_account.LeaveOnServer) {
                    m_skipped.insert(number);
                    ++m_withoutId;
                }
                continue;
            }
            onServer.insert(id);
            const qint64 size = m_transport.NMailPop3GetMailSize(m_handle, number);
            m_ids.insert(number, {id, size});
            if (m_record && m_record->contains(id, size)) {
                m_skipped.insert(number);
                if (!m_account.LeaveOnServer && m_transport.deleteStoredMail(m_handle, number, id) >= 0) {
                    ++m_deletions;
                    m_deleted.append(id);
                }
            }
        }
        if (m_record)
            m_record->keepOnly(onServer);
    }

    void fetchAll()
    {
        for (int number = 1; number <= m_count; ++number) {
            if (m_skipped.contains(number))
                continue;
            if (m_stop && *m_stop) {
                m_stopped = m_stopAsked = true; // what is stored so far is made safe below
                break;
            }
            showProgress(number);
            RetrievedMail mail;
            if (!fetchOne(number, mail)) {
                if (m_transport.pop3Usable(m_handle))
                    continue;
                m_stopped = true;
                break;
            }
            Staged staged;
            staged.number = number;
            if (!stage(staged, mail) || (m_staged.size() >= kBatch && !commit())) {
                m_stopped = true;
                break;
            }
        }
        if (!commit())
            m_stopped = true;
    }

    void showProgress(int number)
    {
        m_progress = MailCheck::progressText(number, m_count);
        setHelp(m_progress);
        if (number == 1 || m_sinceRepaint.elapsed() >= 100) {
            IncomingMail::ShowLastBody(m_incoming);
            Kit::keepWindowsAlive();
            m_sinceRepaint.restart();
        }
    }

    bool fetchOne(int number, RetrievedMail &mail)
    {
        QByteArray subject, date, from, header, body;
        m_transport.NMailPop3GetMailStatus(m_handle, number, subject, date, from, header, 0);
        // The body is handed back whole: a buffer as large as the server claims the mail to be
        // would trust the server with the program's memory.
        const int size = m_transport.NMailPop3GetMailSize(m_handle, number);
        const int got = m_transport.NMailPop3GetMail(m_handle, number, subject, date, from, header, body, 0, 0);
        if (size < 0 || got < 0) {
            // Storing an empty mail and deleting the real one would lose it.
            ++m_failedFetches;
            m_lastFetchFailure = failureText();
            return false;
        }
        mail = RetrievedMail{cutAtNul(subject), cutAtNul(date), cutAtNul(from), cutAtNul(header), cutAtNul(body)};
        return true;
    }

    void reportFetchFailures()
    {
        if (m_withoutId > 0)
            MsgBox(QStringLiteral("POP3サーバーがメールの識別番号（UIDL）を知らせないため、%1通のメールを受信しませんでした。"
                                  "メールをサーバーに残す設定では、識別番号のないメールは受信済みかどうか区別できません。")
                       .arg(m_withoutId),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        if (m_failedFetches == 0)
            return;
        const QString count =
            m_failedFetches > 1 ? QStringLiteral("（%1通）").arg(m_failedFetches) : QString();
        // The mails stored before the failure stay on the server too when the connection is lost.
        QString stored;
        if (m_undeleted > 0)
            stored = m_record ? QStringLiteral("受信済みの%1通は保存しました（サーバーからは次の受信で削除します）。\n")
                                    .arg(m_undeleted)
                              : QStringLiteral("受信済みの%1通は保存しましたが、サーバーにも残っています。\n").arg(m_undeleted);
        MsgBox(QStringLiteral("メールを受信できませんでした。%1受信できなかったメールはサーバーに残してあります。\n")
                       .arg(count)
                   + stored + m_lastFetchFailure,
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }

    void fail(const QString &problem)
    {
        showStoreFailure(problem);
        m_stopped = true;
    }

    // Handles a mail and starts writing its original (a new one for a mail of the server).
    bool stage(Staged &staged, const RetrievedMail &mail)
    {
        if (m_records + int(m_staged.size()) >= History::MaxRecords) {
            fail(QStringLiteral("履歴がいっぱいです（最大32767件）。不要なメールを削除して下さい。"));
            return false;
        }
        QString problem;
        if (!IncomingMail::HandleMail(m_incoming, m_transport, m_handle, mail, staged.mail, &problem)) {
            fail(problem);
            return false;
        }
        if (staged.number > 0) {
            const QByteArray raw = m_transport.retrievedMail(m_handle, staged.number);
            if (!raw.isEmpty()) {
                if (!m_markerWritten && !writeMarker(&problem)) {
                    IncomingMail::DiscardStaged(staged.mail);
                    fail(problem);
                    return false;
                }
                staged.original = m_writer.start(raw);
            }
        }
        m_staged.append(staged);
        return true;
    }

    // Makes the staged mails safe, step by step, then asks for their deletion. False when a
    // step failed: the mails stay on the server.
    bool commit()
    {
        if (m_staged.isEmpty())
            return true;
        QString problem;
        const bool fresh = std::any_of(m_staged.cbegin(), m_staged.cend(), [](const Staged &s) { return s.number > 0; });
        bool ok = (!fresh || m_writer.finish(&problem)) && unpackedOnDisk(&problem);
        bool named = false; // the record of stored mails may name them on the disk
        if (ok && fresh) {
            ok = recordStored(&problem);
            named = !ok;
        }
        if (!ok) {
            // Nothing names these originals yet: gone with what was unpacked, the mails stay (and
            // the record of stored mails must not name them when it is saved at the end). Where
            // that record may already name them, they stay for the next check to finish or remove.
            for (const Staged &s : std::as_const(m_staged)) {
                if (s.number > 0 && !s.original.isEmpty() && !named)
                    m_originals.maildir().remove(s.original);
                if (const auto it = m_ids.constFind(s.number); m_record && it != m_ids.cend())
                    m_record->remove(it->id);
                IncomingMail::DiscardStaged(s.mail);
            }
            m_staged.clear();
            fail(problem);
            return false;
        }
        // From here on the mails are kept: a step that fails now is finished by the next check.
        QList<Originals::Link> links;
        for (const Staged &s : std::as_const(m_staged))
            if (s.number > 0)
                links.append({s.original, s.mail.record.bytes().left(HistoryRecord::HeadingSize)});
        if (!links.isEmpty() && !m_originals.link(m_records + 1, links, &problem)) {
            m_staged.clear();
            fail(problem);
            return false;
        }
        QList<int> stored;
        for (Staged &s : m_staged) {
            const int n = IncomingMail::WriteReceivedRecord(m_incoming, s.mail, &problem);
            if (n <= 0)
                break;
            if (s.number <= 0)
                m_originals.setHeading(n, s.mail.record.bytes().left(HistoryRecord::HeadingSize));
            ++m_records;
            stored.append(s.number);
        }
        m_kept += int(stored.size());
        if (stored.size() < m_staged.size()) {
            takeBack(m_staged.mid(stored.size()));
            m_staged.clear();
            fail(problem);
            return false;
        }
        m_staged.clear();
        if (!IncomingMail::FlushStored(m_incoming, &problem)) {
            fail(problem); // finished by the next check, which finds the entries
            return false;
        }
        if (m_account.LeaveOnServer)
            return true;
        for (int number : std::as_const(stored)) {
            if (number <= 0)
                continue;
            if (m_transport.NMailPop3DeleteMail(m_handle, number) >= 0) {
                ++m_deletions;
                if (const auto it = m_ids.constFind(number); it != m_ids.cend())
                    m_deleted.append(it->id);
            } else {
                ++m_undeleted;
            }
        }
        return true;
    }

    // Mails whose records could not be written are not kept after all: their entries go first,
    // then their lines in the record of stored mails, then the originals, so that a crash part way
    // leaves either a mail the next check finishes storing or one it fetches again.
    void takeBack(const QList<Staged> &unstored)
    {
        // Those a crash left on the disk stay there, for the next check to store.
        if (std::any_of(unstored.cbegin(), unstored.cend(), [](const Staged &s) { return s.number <= 0; }))
            return;
        if (!m_originals.dropEntriesFrom(m_records + 1, nullptr))
            return; // left for the next check to finish
        if (m_record) {
            for (const Staged &s : unstored)
                if (const auto it = m_ids.constFind(s.number); s.number > 0 && it != m_ids.cend())
                    m_record->remove(it->id);
            if (m_record->changed() && !m_record->save())
                return;
        }
        for (const Staged &s : unstored) {
            if (s.number > 0 && !s.original.isEmpty())
                m_originals.maildir().remove(s.original);
            IncomingMail::DiscardStaged(s.mail);
        }
    }

    // What the staged mails' records name beside the attachments is on the disk before them.
    bool unpackedOnDisk(QString *problem)
    {
        QStringList files;
        for (const Staged &s : std::as_const(m_staged)) {
            files += s.mail.attachments;
            if (!s.mail.fullTextFile.isEmpty())
                files.append(s.mail.fullTextFile);
        }
        const int error = files.isEmpty() ? 0 : FileError::syncFiles(files);
        if (error != 0)
            *problem = QStringLiteral("添付フォルダに書き込めません（%1）。").arg(FileError::text(error));
        return error == 0;
    }

    // The record of stored mails names the staged mails and their originals, on the disk.
    bool recordStored(QString *problem)
    {
        if (!m_record)
            return true;
        for (const Staged &s : std::as_const(m_staged))
            if (const auto it = m_ids.constFind(s.number); s.number > 0 && it != m_ids.cend())
                m_record->add(it->id, it->size, s.original);
        return !m_record->changed() || m_record->save(problem);
    }

    // Says on the disk that a check is storing mail, until it ends properly.
    static QString unfinishedMarker() { return ProgramFolder::receivedOriginals() + QStringLiteral("/.unfinished"); }

    bool writeMarker(QString *problem)
    {
        const int error = FileError::replaceFile(unfinishedMarker(), QByteArrayLiteral("receiving\n"));
        if (error != 0) {
            *problem = FileError::text(error);
            return false;
        }
        m_markerWritten = true;
        return true;
    }

    // Names of the Maildir in the order they were given.
    static bool deliveredBefore(const QString &a, const QString &b)
    {
        const auto key = [](const QString &name) {
            const QStringList parts = name.split(u'.');
            const QString middle = parts.value(1);
            return std::make_tuple(parts.value(0).toLongLong(), middle.section(u'M', 1).section(u'P', 0, 0).toLongLong(),
                                   middle.section(u'Q', 1).toLongLong());
        };
        return key(a) < key(b);
    }

    void reportLoginFailure()
    {
        if (m_count < 0 && !m_declined)
            MsgBox(failureText(), Prompter::Buttons::Ok, Prompter::Icon::None, QStringLiteral("エラー"));
    }

    void close()
    {
        if (m_handle < 0)
            return; // given up while the user was asked for the account
        const bool closed = m_transport.NMailPop3Close(m_handle) >= 0;
        if (!closed && m_deletions > 0) {
            // The mails are stored, but the server keeps them: say so rather than let them stay
            // unannounced.
            MsgBox(QStringLiteral("受信したメールは保存しましたが、サーバーから削除できませんでした。")
                       + (m_record ? QStringLiteral("保存したメールは次の受信で保存し直さずに、もう一度削除します。\n")
                                   : QStringLiteral("次の受信で同じメールをもう一度受信することがあります。\n"))
                       + failureText(),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        }
        if (m_record) {
            // Deleted for good: the server may one day give these ids to other mails.
            if (closed)
                for (const QByteArray &id : std::as_const(m_deleted))
                    m_record->remove(id);
            if (m_record->changed())
                m_record->save();
        }
        // Also the mark an interrupted check left, once this one has finished its work.
        if (!m_stopped && m_count >= 0)
            QFile::remove(unfinishedMarker());
    }

    void finish()
    {
        // The count of mails fetched ends with the check (unless the help line says something
        // else by now).
        if (!m_quiet && !m_progress.isEmpty())
            BackgroundWork::onWindowThread([progress = m_progress] {
                MainForm *main = Forms::existingMainForm();
                if (main && main->Label2->text() == progress)
                    main->Label2->setText(kChecking);
            });
        IncomingMail::ShowLastBody(m_incoming);
        IncomingMail::EndCheck(m_incoming);
        // A check that stopped or left mails behind reports what it stored; with nothing stored
        // the status stays.
        int count = m_kept;
        if (m_count < 0)
            count = m_count;
        else if ((m_stopped || m_failedFetches > 0) && m_kept == 0)
            count = -1;
        // A quiet check that found nothing leaves everything as it was.
        if (m_quiet && count == 0)
            return;
        BackgroundWork::onWindowThread(
            [check = m_incoming, count] { IncomingMail::FinishCheck(check, count); });
    }

    struct Stored
    {
        QByteArray id;
        qint64 size;
    };

    MailTransport &m_transport;
    AccountSettings &m_account;
    const bool m_quiet;
    const std::atomic<bool> *const m_stop;
    IncomingMail::CheckState m_incoming;
    Originals m_originals;
    OriginalWriter m_writer;
    int m_handle = -1;
    int m_count = 0;     // the mails on the server, negative without a connection or login
    int m_records = 0;   // in the received history
    int m_kept = 0;      // stored
    int m_deletions = 0; // deletions the server took
    int m_undeleted = 0; // stored, but the deletion could not be asked for
    int m_failedFetches = 0;
    int m_withoutId = 0; // left on the server, as they cannot be told apart
    QString m_lastFetchFailure;
    QString m_progress; // the help line's text while mails are fetched
    bool m_stopped = false;
    bool m_markerWritten = false;
    bool m_declined = false; // the user did not trust the server's certificate
    bool m_connected = false;
    bool m_noAccount = false;
    bool m_stopAsked = false; // ended early on request
    QList<Staged> m_staged;  // handled, not yet stored
    QElapsedTimer m_sinceRepaint;
    std::optional<StoredMails> m_record;
    QHash<int, Stored> m_ids; // by mail number
    QSet<int> m_skipped;      // stored by an earlier check
    QList<QByteArray> m_deleted;
};

} // namespace

namespace MailCheck {

QString progressText(int number, int count)
{
    return QStringLiteral("メールを受信しています。%1/%2").arg(number).arg(count);
}

} // namespace MailCheck

namespace {

std::atomic<bool> g_running{false};

} // namespace

namespace MailCheck {

bool running()
{
    return g_running;
}

Outcome run(const Options &options)
{
    // One check at a time: a message box of the check lets the user click "受信" again.
    if (g_running.exchange(true))
        return {-1, QString(), QString()};
    struct Done
    {
        ~Done() { g_running = false; }
    } done;
    QuietPrompter quiet;
    if (options.quiet)
        Prompter::installForThisThread(&quiet);
    MailCheckSession session(MailTransport::instance(), options);
    session.run();
    Outcome outcome{session.stored(), options.quiet ? session.failure() : QString(), quiet.first};
    if (options.quiet)
        Prompter::installForThisThread(nullptr);
    return outcome;
}

} // namespace MailCheck

void CheckMail()
{
    // An automatic check holds the transport and the history until it ends.
    BackgroundWork::waitUntilDone();
    MailCheck::run({});
}
