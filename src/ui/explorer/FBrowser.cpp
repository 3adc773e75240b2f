#include "FBrowser.h"

#include "ActivationWatch.h"
#include "ButtonImages.h"
#include "LocalLists.h"
#include "TransferProgressDialog.h"
#include "backup/EventLog.h"
#include "backup/ServerConnection.h"
#include "common/Error.h"
#include "ftp/ServerAddress.h"
#include "store/Settings.h"
#include "ui/events/ListViewLog.h"
#include "ui/look/OffThread.h"
#include "ui/look/Question.h"
#include "ui/look/WindowLook.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>

namespace {

// A listing's entries in LFTP's order: plain folders (attributes exactly 16) first, then all
// others, each group in the listing's order.
std::vector<FtpListEntry> remoteListOrder(const std::vector<FtpListEntry>& entries) {
    std::vector<FtpListEntry> ordered;
    for (const bool folders : {true, false}) {
        for (const FtpListEntry& entry : entries) {
            if ((entry.attributes == FtpAttribute::Folder) == folders)
                ordered.push_back(entry);
        }
    }
    return ordered;
}

QString joinRemote(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString parentFolder(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const qsizetype cut = folder.lastIndexOf(QLatin1Char('/'));
    return cut <= 0 ? QStringLiteral("/") : folder.left(cut);
}

// Only a plain name stays inside the local folder, whatever a server lists.
bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar());
}

} // namespace

FBrowser::FBrowser(Settings& settings, FtpFactory ftpFactory, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
    , m_ftpFactory(std::move(ftpFactory))
    , m_local(new LocalLists(this))
    , m_lftp(new QTreeWidget(this))
    , m_lv(new QTreeWidget(this))
    , m_log(std::make_unique<ListViewLog>(m_lv))
    , m_trustQuestion(messageBoxTrustQuestion(this)) {
    setObjectName(QStringLiteral("FBrowser"));
    setWindowTitle(QStringLiteral("Vestrel FTP Explorer"));
    setFixedSize(pixels(9930), pixels(6675));
    paintBackground(this, WindowBlue);

    QComboBox* drive1 = m_local->drives();
    drive1->setObjectName(QStringLiteral("Drive1"));
    drive1->setGeometry(twipRect(120, 120, 2595, 315));
    drive1->setAccessibleName(QStringLiteral("Local drive"));
    QTreeView* dir1 = m_local->folders();
    dir1->setObjectName(QStringLiteral("Dir1"));
    dir1->setGeometry(twipRect(120, 480, 2595, 3915));
    dir1->setAccessibleName(QStringLiteral("Local folder"));
    QListWidget* file1 = m_local->files();
    file1->setObjectName(QStringLiteral("File1"));
    file1->setGeometry(twipRect(2820, 120, 3255, 3930));
    file1->setToolTip(QStringLiteral("Local Side"));
    file1->setAccessibleName(file1->toolTip());

    m_lftp->setObjectName(QStringLiteral("LFTP"));
    m_lftp->setGeometry(twipRect(6180, 120, 3615, 3930));
    m_lftp->setToolTip(QStringLiteral("FTP Side"));
    m_lftp->setAccessibleName(m_lftp->toolTip());
    m_lftp->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lftp->setRootIsDecorated(false);
    m_lftp->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    m_lftp->setColumnWidth(0, pixels(1800));
    m_lftp->setColumnWidth(1, pixels(900));
    const QList<QWidget*> lists{drive1, dir1, file1, m_lftp};
    for (QWidget* list : lists)
        list->setFont(verdanaFont());

    QPushButton* cmd2FTP =
        pictureButton("cmd2FTP", QStringLiteral("Copy to FTP"), ButtonImages::copyToFtp(),
                      twipRect(4980, 4140, 1095, 315));
    QPushButton* cmdDirUp = pictureButton("cmdDirUp", QStringLiteral("Up Dir"),
                                          ButtonImages::upDir(), twipRect(7650, 4140, 465, 315));
    QPushButton* cmd2Local =
        pictureButton("cmd2Local", QStringLiteral("Copy to Local"), ButtonImages::copyToLocal(),
                      twipRect(8250, 4140, 1095, 315));
    QPushButton* cmdDelete =
        pictureButton("cmdDelete", QStringLiteral("Delete file in FTP"), ButtonImages::deleteFile(),
                      twipRect(9420, 4140, 375, 315));

    m_lv->setObjectName(QStringLiteral("LV"));
    m_lv->setGeometry(twipRect(60, 4500, 9795, 1575));
    m_lv->setAccessibleName(QStringLiteral("Log"));
    m_lv->setFont(verdanaFont());

    auto* cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(twipRect(8400, 6180, 1455, 435));
    cmdClose->setAccessibleName(cmdClose->text());
    paintButton(cmdClose, Qt::white);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, cmdClose,
            &QPushButton::click);

    // Left side first, then the remote side with its buttons, the log, and Close.
    QWidget* order[] = {drive1,   dir1,      file1,     cmd2FTP, m_lftp,
                        cmdDirUp, cmd2Local, cmdDelete, m_lv,    cmdClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(cmd2FTP, &QPushButton::clicked, this, [this] { act([this] { copyToFtp(); }); });
    connect(cmd2Local, &QPushButton::clicked, this, [this] { act([this] { copyToLocal(); }); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { act([this] { deleteOnFtp(); }); });
    connect(cmdDirUp, &QPushButton::clicked, this, [this] { act([this] { dirUp(); }); });
    connect(m_lftp, &QTreeWidget::itemDoubleClicked, this,
            [this] { act([this] { enterFolders(); }); });
    connect(new ActivationWatch(this), &ActivationWatch::activated, this,
            [this] { act([this] { activated(); }); });
}

FBrowser::~FBrowser() {
    if (m_ftp && m_ftp->Connected())
        m_ftp->Disconnect();
}

void FBrowser::FillLFTP() {
    m_lftp->clear();
    try {
        const std::vector<FtpListEntry> entries = ftp().ListEntries();
        logRecordedError();
        const QLocale locale;
        for (const FtpListEntry& entry : remoteListOrder(entries)) {
            const bool folder = entry.attributes & FtpAttribute::Folder;
            const bool sized = !folder && entry.size >= 0;
            auto* item = new QTreeWidgetItem(
                m_lftp, {entry.name, sized ? locale.formattedDataSize(entry.size, 1) : QString(),
                         entry.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm"))});
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            // The exact size where the column rounds it.
            if (sized)
                item->setToolTip(1, locale.toString(entry.size) + QStringLiteral(" bytes"));
        }
        // Names whole first, then size and date; the list scrolls sideways when they are long.
        for (int column = 0; column < 3; ++column)
            m_lftp->resizeColumnToContents(column);
        m_lftp->setColumnWidth(0, std::max(m_lftp->columnWidth(0), m_lftp->viewport()->width() -
                                                                       m_lftp->columnWidth(1) -
                                                                       m_lftp->columnWidth(2)));
    } catch (const VError& error) {
        LogLine(*m_log, errorLogText(error.record()), IconFailure);
    }
}

void FBrowser::closeEvent(QCloseEvent* event) {
    // A transfer in progress holds the connection; it ends first.
    if (m_busy) {
        event->ignore();
        return;
    }
    if (m_ftp && m_ftp->Connected())
        m_ftp->Disconnect();
    QWidget::closeEvent(event);
}

void FBrowser::activated() {
    // The question's own box takes the activation away and gives it back.
    if (m_asking)
        return;
    // One column fills the list beside its vertical scroll bar.
    m_lv->setColumnWidth(0, m_lv->width() - 25);
    m_log->clear();
    const QString host = m_settings.text(Options::Ftp);
    const QString user = m_settings.text(Options::User);
    const QString password = m_settings.text(Options::Password);
    cFTP& client = ftp();
    // The port cannot change under a connection.
    if (!client.Connected())
        applyServerOptions(client, m_settings);
    if (client.Connect(host, user, password) || trustAndRetry(client, host, user, password)) {
        LogLine(*m_log, QStringLiteral("Connection succesful"), IconSuccess);
        if (client.Directory().isEmpty()) {
            m_top = client.LogOnFolder();
            openPathInFtp();
        }
        FillLFTP();
    } else {
        LogError(*m_log, IconFailure);
    }
}

bool FBrowser::trustAndRetry(cFTP& client, const QString& host, const QString& user,
                             const QString& password) {
    const ServerRefusal refusal = client.LastRefusal();
    const bool hostKey = refusal.reason == ServerRefusal::Reason::UnknownHostKey;
    // A changed host key is never offered: accepting it here would hide an attack.
    if ((!hostKey && refusal.reason != ServerRefusal::Reason::UntrustedCertificate) ||
        refusal.fingerprint.isEmpty() || m_declined.contains(refusal.fingerprint))
        return false;
    const ErrorRecord refused = CurrentError();
    const QString server = parseServerAddress(host, client.Port()).host;
    const QString question =
        hostKey ? QStringLiteral("The host key of %1 is not known yet.\n\nFingerprint: %2\n\n"
                                 "Trust this key? It is added to %3, and later connections and "
                                 "backups accept this key only.")
                      .arg(server, refusal.fingerprint,
                           client.SshFolder() + QStringLiteral("/known_hosts"))
                : QStringLiteral("The certificate of %1 is %2.\n\nSHA-256 fingerprint:\n%3\n\n"
                                 "Trust exactly this certificate? Later connections and backups "
                                 "accept this certificate and no other.")
                      .arg(server,
                           refusal.otherThanTrusted
                               ? QStringLiteral("not the one trusted before")
                               : QStringLiteral("not trusted by this system (self-signed or "
                                                "from an unknown issuer)"),
                           refusal.fingerprint);
    bool yes = false;
    {
        const QScopedValueRollback asking(m_asking, true);
        yes = m_trustQuestion ? m_trustQuestion(question) : false;
    }
    if (!yes) {
        m_declined.insert(refusal.fingerprint);
        CurrentError() = refused;
        return false;
    }
    if (hostKey) {
        if (!client.AcceptHostKey()) {
            recordCurrentError(refused.number,
                               refused.description + QStringLiteral("(cannot write known_hosts)"));
            return false;
        }
    } else {
        m_settings.WriteOption(QLatin1String(Options::TlsFingerprint.key), refusal.fingerprint);
        client.setTrustedCertificate(refusal.fingerprint);
    }
    return client.Connect(host, user, password);
}

void FBrowser::copyToFtp() {
    for (const QString& path : m_local->selectedFiles()) {
        const QString name = QFileInfo(path).fileName();
        if (!transfer(QStringLiteral("Sending file ") + name,
                      [&](cFTP& client) { return client.PutFile(path, name, cFTP::Binary); }))
            break;
    }
    FillLFTP();
}

void FBrowser::copyToLocal() {
    const QDir folder(m_local->currentFolder());
    for (const QString& name : selectedRemoteNames()) {
        if (!isPlainName(name)) {
            LogLine(*m_log, QStringLiteral("Not received: %1 is no plain file name").arg(name),
                    IconFailure);
            continue;
        }
        if (!transfer(QStringLiteral("Receiving file ") + name, [&](cFTP& client) {
                return client.GetFile(name, folder.filePath(name), cFTP::Binary);
            }))
            break;
    }
    m_local->refreshFiles();
}

void FBrowser::deleteOnFtp() {
    const QStringList names = selectedRemoteNames();
    if (names.isEmpty()) {
        FillLFTP();
        return;
    }
    const QString question =
        names.size() == 1
            ? QStringLiteral("Delete \"%1\" on the FTP server?").arg(names.first())
            : QStringLiteral("Delete the %1 selected entries on the FTP server?").arg(names.size());
    {
        const QScopedValueRollback asking(m_asking, true);
        if (askQuestion(this, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
            QMessageBox::Yes)
            return;
    }
    for (const QString& name : names) {
        ftp().DeleteFile(name);
        if (CurrentError().isSet())
            LogError(*m_log, IconFailure);
        else
            LogLine(*m_log, QStringLiteral("Succesfull deleted!"), IconSuccess);
    }
    FillLFTP();
}

void FBrowser::dirUp() {
    // The parent folder, but never above the log-on folder from inside it.
    const QString here = currentFolder();
    ftp().setDirectory(here == m_top ? m_top : parentFolder(here));
    if (CurrentError().isSet()) {
        LogError(*m_log, IconFailure);
        return;
    }
    LogLine(*m_log, QStringLiteral("Succesfull"), IconSuccess);
    FillLFTP();
}

void FBrowser::enterFolders() {
    // With several entries selected, each one is entered from the one before.
    for (const QString& name : selectedRemoteNames()) {
        ftp().setDirectory(joinRemote(currentFolder(), name));
        if (CurrentError().isSet())
            LogError(*m_log, IconFailure);
        else
            LogLine(*m_log, QStringLiteral("Succesfull"), IconSuccess);
    }
    FillLFTP();
}

void FBrowser::openPathInFtp() {
    QString path = m_settings.text(Options::FtpPath).trimmed();
    if (path.isEmpty())
        return;
    // Named as the run names its uploads: from the server's root, or from the log-on folder.
    ftp().setDirectory(path.startsWith(QLatin1Char('/')) ? path : joinRemote(m_top, path));
    // A folder that is not there (yet) leaves the explorer at its top, without a line.
    clearCurrentError();
}

QString FBrowser::currentFolder() {
    return ftp().Directory().isEmpty() ? m_top : ftp().Directory();
}

bool FBrowser::transfer(const QString& action, const std::function<bool(cFTP&)>& operation) {
    cFTP& client = ftp();
    TransferProgressDialog progress(this, action, m_progressDelayMs);
    client.setTransferProgress(
        [&progress](qint64 done, qint64 total) { return progress.update(done, total); });
    struct Unhook {
        cFTP& client;
        ~Unhook() { client.setTransferProgress({}); }
    } unhook{client};
    if (runOffThread<bool>([&] { return operation(client); }, [&] { progress.refresh(); }))
        LogLine(*m_log, action + QStringLiteral(" succes"), IconSuccess);
    else
        LogError(*m_log, IconFailure);
    return !progress.cancelled();
}

void FBrowser::act(const std::function<void()>& action) {
    // Whatever arrives while a transfer keeps the window busy waits for nothing: it is dropped.
    if (m_busy)
        return;
    const QScopedValueRollback busy(m_busy, true);
    try {
        action();
    } catch (const VError& error) {
        LogLine(*m_log, errorLogText(error.record()), IconFailure);
    } catch (const std::exception& error) {
        LogLine(
            *m_log,
            errorLogText({UnspecifiedErrorNumber, QString(), QString::fromLocal8Bit(error.what())}),
            IconFailure);
    }
}

void FBrowser::logRecordedError() {
    if (CurrentError().isSet())
        LogError(*m_log, IconFailure);
}

cFTP& FBrowser::ftp() {
    if (!m_ftp)
        m_ftp = m_ftpFactory();
    return *m_ftp;
}

QStringList FBrowser::selectedRemoteNames() const {
    QStringList names;
    for (int i = 0; i < m_lftp->topLevelItemCount(); ++i) {
        if (m_lftp->topLevelItem(i)->isSelected())
            names << m_lftp->topLevelItem(i)->text(0);
    }
    return names;
}

QPushButton* FBrowser::pictureButton(const char* name, const QString& tip, const QIcon& image,
                                     const QRect& place) {
    auto* button = new QPushButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setIcon(image);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    paintButton(button, Qt::white);
    return button;
}
