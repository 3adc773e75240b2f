#include "FRestore.h"

#include "RemotePicker.h"
#include "backup/ArchiveCheck.h"
#include "backup/ArchiveEntries.h"
#include "backup/ArchivePassword.h"
#include "backup/ServerConnection.h"
#include "common/Error.h"
#include "store/Settings.h"
#include "ui/events/ListViewLog.h"
#include "ui/look/OffThread.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

namespace {

constexpr int NameRole = Qt::UserRole;

QString dateText(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Asks on the user-interface thread with a box: Overwrite, Keep Both or Skip, and "for all".
ExistingChoice askInBox(QWidget* parent, const QString& path) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vestrel"),
                    QStringLiteral("%1 is already there.").arg(path), QMessageBox::NoButton,
                    parent);
    QPushButton* overwrite = box.addButton(QStringLiteral("Overwrite"), QMessageBox::AcceptRole);
    QPushButton* both = box.addButton(QStringLiteral("Keep Both"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Skip"), QMessageBox::RejectRole);
    auto* forAll = new QCheckBox(QStringLiteral("Do the same for the other files in the way"));
    box.setCheckBox(forAll);
    box.exec();
    const ExistingAnswer answer = box.clickedButton() == overwrite ? ExistingAnswer::Overwrite
                                  : box.clickedButton() == both    ? ExistingAnswer::KeepBoth
                                                                   : ExistingAnswer::Skip;
    return {answer, forAll->isChecked()};
}

// Log lines written on the work's thread, shown in the window's log in their order.
class ForwardedLog : public EventLog {
public:
    ForwardedLog(QObject* context, EventLog& target)
        : m_context(context)
        , m_target(target) {}
    void appendLine(const QString& text, int icon) override {
        QMetaObject::invokeMethod(
            m_context, [this, text, icon] { m_target.appendLine(text, icon); },
            Qt::BlockingQueuedConnection);
    }
    void clear() override {}

private:
    QObject* m_context;
    EventLog& m_target;
};

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString(text).remove(QStringLiteral("…")));
    return b;
}

} // namespace

FRestore::FRestore(Settings& settings, FtpFactory ftpFactory, ArchiveCatalog& catalog,
                   QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
    , m_ftpFactory(std::move(ftpFactory))
    , m_catalog(catalog)
    , m_sessions(new QComboBox(this))
    , m_archives(new QTreeWidget(this))
    , m_archiveLabel(new QLabel(QStringLiteral("No archive open"), this))
    , m_tree(new QTreeWidget(this))
    , m_target(new QLineEdit(this))
    , m_progress(new QProgressBar(this))
    , m_lv(new QTreeWidget(this))
    , m_log(std::make_unique<ListViewLog>(m_lv)) {
    setObjectName(QStringLiteral("FRestore"));
    setWindowTitle(QStringLiteral("Vestrel Restore"));
    resize(760, 620);
    m_question = [this](const QString& path) {
        return askInBox(this, path);
    };
    m_askPassword = [this](const QString& prompt) {
        return askPassword(this, prompt);
    };

    m_sessions->setObjectName(QStringLiteral("cmbSession"));
    m_sessions->setAccessibleName(QStringLiteral("Session"));
    m_archives->setObjectName(QStringLiteral("lstArchives"));
    m_archives->setAccessibleName(QStringLiteral("Archives of the session"));
    m_archives->setRootIsDecorated(false);
    m_archives->setHeaderLabels({QStringLiteral("Archive"), QStringLiteral("Written"),
                                 QStringLiteral("Size"), QStringLiteral("Where")});
    m_archives->setMaximumHeight(110);
    QPushButton* cmdOpenFile = button(this, "cmdOpenFile", QStringLiteral("Open File…"));
    QPushButton* cmdOpenRemote = button(this, "cmdOpenRemote", QStringLiteral("From Server…"));
    m_archiveLabel->setObjectName(QStringLiteral("lblArchive"));
    m_tree->setObjectName(QStringLiteral("tvwEntries"));
    m_tree->setAccessibleName(QStringLiteral("Entries of the archive"));
    m_tree->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    m_tree->setColumnWidth(0, 400);
    m_tree->setColumnWidth(1, 110);
    auto* targetLabel = new QLabel(QStringLiteral("Restore to:"), this);
    m_target->setObjectName(QStringLiteral("txtTarget"));
    m_target->setAccessibleName(targetLabel->text());
    targetLabel->setBuddy(m_target);
    QPushButton* chooseTarget = button(this, "cmdTarget", QStringLiteral("…"));
    chooseTarget->setAccessibleName(QStringLiteral("Choose the target folder"));
    m_restore = button(this, "cmdRestore", QStringLiteral("Restore"));
    m_check = button(this, "cmdCheck", QStringLiteral("Check archive"));
    m_cancel = button(this, "cmdCancel", QStringLiteral("Cancel"));
    QPushButton* close = button(this, "cmdClose", QStringLiteral("Close"));
    m_progress->setObjectName(QStringLiteral("prgWork"));
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    m_lv->setObjectName(QStringLiteral("LV"));
    m_lv->setAccessibleName(QStringLiteral("Log"));
    m_lv->setMaximumHeight(120);
    // Long lines scroll sideways rather than end in "...".
    m_lv->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Session:"), this), 0, 0);
    grid->addWidget(m_sessions, 0, 1, 1, 2);
    grid->addWidget(cmdOpenFile, 0, 3);
    grid->addWidget(cmdOpenRemote, 0, 4);
    grid->addWidget(m_archives, 1, 0, 1, 5);
    grid->addWidget(m_archiveLabel, 2, 0, 1, 5);
    grid->addWidget(m_tree, 3, 0, 1, 5);
    grid->addWidget(targetLabel, 4, 0);
    grid->addWidget(m_target, 4, 1, 1, 3);
    grid->addWidget(chooseTarget, 4, 4);
    grid->addWidget(m_progress, 5, 0, 1, 3);
    grid->addWidget(m_cancel, 5, 3);
    grid->addWidget(m_lv, 6, 0, 1, 5);
    grid->addWidget(m_check, 7, 2);
    grid->addWidget(m_restore, 7, 3);
    grid->addWidget(close, 7, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);

    QWidget* order[] = {m_sessions,   cmdOpenFile, cmdOpenRemote, m_archives, m_tree,    m_target,
                        chooseTarget, m_cancel,    m_lv,          m_check,    m_restore, close};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(cmdOpenFile, &QPushButton::clicked, this, &FRestore::chooseFile);
    connect(cmdOpenRemote, &QPushButton::clicked, this, &FRestore::chooseRemote);
    connect(chooseTarget, &QPushButton::clicked, this, &FRestore::chooseTarget);
    connect(m_restore, &QPushButton::clicked, this, &FRestore::restoreTicked);
    connect(m_check, &QPushButton::clicked, this, &FRestore::checkOpenArchive);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, close,
            &QPushButton::click);
    connect(m_sessions, &QComboBox::currentIndexChanged, this, &FRestore::fillArchives);
    connect(m_archives, &QTreeWidget::itemActivated, this, &FRestore::openListed);
    for (const auto& [id, title] : m_catalog.sessions())
        m_sessions->addItem(title, id);
    m_sessions->setEnabled(m_sessions->count() > 0);
    m_archives->setEnabled(m_sessions->count() > 0);
    setBusy(false);
}

FRestore::~FRestore() = default;

void FRestore::closeEvent(QCloseEvent* event) {
    // Work in progress uses the window; it ends first.
    if (m_busy)
        return event->ignore();
    QWidget::closeEvent(event);
}

void FRestore::fillArchives() {
    m_archives->clear();
    const QLocale locale;
    for (const KnownArchive& archive : m_catalog.archives(m_sessions->currentData().toInt())) {
        const QString where = !archive.localPath.isEmpty() && !archive.remotePath.isEmpty()
                                  ? QStringLiteral("store and server")
                              : archive.localPath.isEmpty() ? QStringLiteral("server")
                                                            : QStringLiteral("store");
        // Runs in one minute share the store's name; the server numbers them apart.
        const QString name = archive.localPath.isEmpty()
                                 ? archive.remotePath.section(QLatin1Char('/'), -1)
                                 : archive.name;
        auto* item = new QTreeWidgetItem(
            m_archives, {name, dateText(archive.written), locale.toString(archive.size), where});
        item->setData(0, NameRole, archive.localPath);
        item->setData(1, NameRole, archive.remotePath);
        item->setData(2, NameRole, archive.name);
    }
    for (int column = 0; column < m_archives->columnCount() - 1; ++column)
        m_archives->resizeColumnToContents(column);
}

bool FRestore::openListed(QTreeWidgetItem* item) {
    const QString local = item->data(0, NameRole).toString();
    const QString remote = item->data(1, NameRole).toString();
    return QFileInfo(local).isFile() ? openArchive(local) : openRemote(remote);
}

bool FRestore::showArchive(int sessionId, const QString& name) {
    if (const int index = m_sessions->findData(sessionId); index >= 0)
        m_sessions->setCurrentIndex(index);
    QTreeWidgetItem* found = nullptr;
    for (int i = 0; !found && m_sessions->currentData().toInt() == sessionId &&
                    i < m_archives->topLevelItemCount();
         ++i) {
        if (m_archives->topLevelItem(i)->data(2, NameRole).toString() == name)
            found = m_archives->topLevelItem(i);
    }
    if (!found) {
        LogLine(*m_log,
                QStringLiteral("%1 is neither in the store nor on the server any more").arg(name),
                IconFailure);
        return false;
    }
    m_archives->setCurrentItem(found);
    m_archives->setFocus();
    return openListed(found);
}

bool FRestore::openArchive(const QString& path) {
    m_tree->clear();
    const QString name = m_archiveName.isEmpty() ? QFileInfo(path).fileName() : m_archiveName;
    std::vector<ArchiveMember> members;
    try {
        const ArchiveFile archive(path);
        if (!unlock(archive, name))
            return false;
        members = archive.entries();
    } catch (const VError& error) {
        LogLine(*m_log, errorLogText(error.record()), IconFailure);
        return false;
    }
    m_archive = path;
    m_archiveName = name;
    m_archiveLabel->setText(QStringLiteral("Archive: ") + m_archiveName);
    m_target->setText(QDir::home().filePath(QStringLiteral("Restored/") +
                                            QFileInfo(m_archiveName).completeBaseName()));
    // Folders of the tree by their path; entries name their folders, or imply them.
    QHash<QString, QTreeWidgetItem*> folders;
    const QLocale locale;
    const std::function<QTreeWidgetItem*(const QString&)> folderItem = [&](const QString& name) {
        if (QTreeWidgetItem* known = folders.value(name))
            return known;
        const qsizetype cut = name.lastIndexOf(QLatin1Char('/'));
        QTreeWidgetItem* item =
            cut < 0 ? new QTreeWidgetItem(m_tree) : new QTreeWidgetItem(folderItem(name.left(cut)));
        item->setText(0, name.mid(cut + 1));
        item->setData(0, NameRole, name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        item->setCheckState(0, Qt::Unchecked);
        folders.insert(name, item);
        return item;
    };
    for (const ArchiveMember& member : members) {
        if (member.name.isEmpty())
            continue;
        QTreeWidgetItem* item = nullptr;
        if (member.kind == ArchiveMember::Kind::Folder) {
            item = folderItem(member.name);
        } else {
            const qsizetype cut = member.name.lastIndexOf(QLatin1Char('/'));
            item = cut < 0 ? new QTreeWidgetItem(m_tree)
                           : new QTreeWidgetItem(folderItem(member.name.left(cut)));
            item->setText(0, member.name.mid(cut + 1) + (member.kind == ArchiveMember::Kind::Link
                                                             ? QStringLiteral(" (link)")
                                                             : QString()));
            item->setText(1, locale.toString(member.size));
            item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            item->setData(0, NameRole, member.name);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
        }
        item->setText(2, dateText(QDateTime::fromSecsSinceEpoch(member.mtime)));
    }
    m_tree->sortItems(0, Qt::AscendingOrder);
    m_tree->expandAll();
    setBusy(false);
    return true;
}

bool FRestore::unlock(const ArchiveFile& archive, const QString& name) {
    QString password = m_settings.text(Options::ArchivePassword);
    PasswordFit fit = tryPassword(archive, password);
    for (bool asked = false; fit == PasswordFit::Missing || fit == PasswordFit::Wrong;
         asked = true) {
        const std::optional<QString> typed =
            m_askPassword(asked ? QStringLiteral("Wrong password for %1. Try again:").arg(name)
                                : QStringLiteral("%1 is encrypted. Its password:").arg(name));
        if (!typed) {
            LogLine(*m_log, passwordFailureText(fit, name), IconFailure);
            return false;
        }
        password = *typed;
        fit = tryPassword(archive, password);
    }
    m_password = password;
    return true;
}

cFTP* FRestore::connectedFtp() {
    if (!m_ftp)
        m_ftp = m_ftpFactory();
    if (m_ftp->Connected())
        return m_ftp.get();
    if (connectToServer(*m_ftp, m_settings))
        return m_ftp.get();
    LogError(*m_log, IconFailure);
    return nullptr;
}

bool FRestore::openRemote(const QString& remotePath) {
    cFTP* ftp = connectedFtp();
    if (!ftp)
        return false;
    const QString name = remotePath.section(QLatin1Char('/'), -1);
    // Under its own name, which the restore's log lines then show; one download at a time.
    const bool plainName = name != QLatin1String(".") && name != QLatin1String("..");
    const QString local = m_downloads.filePath(plainName ? name : QStringLiteral("archive.zip"));
    if (m_archive.startsWith(m_downloads.path() + QLatin1Char('/')))
        QFile::remove(m_archive);
    QFile::remove(local);
    ftp->setTransferProgress([this](qint64 done, qint64 total) {
        m_done = done;
        m_total = total;
        return !m_cancelled;
    });
    const bool fetched =
        withProgress<bool>([&] { return ftp->GetFile(remotePath, local, cFTP::Binary); });
    ftp->setTransferProgress({});
    if (!fetched) {
        LogError(*m_log, IconFailure);
        return false;
    }
    LogLine(*m_log, QStringLiteral("Received %1 from the server").arg(remotePath), IconSuccess);
    m_archiveName = name;
    return openArchive(local);
}

void FRestore::chooseFile() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open archive"), m_settings.storeFolder(),
                                     QStringLiteral("Zip archives (*.zip);;All files (*)"));
    m_archiveName.clear();
    if (!path.isEmpty())
        openArchive(path);
}

void FRestore::chooseRemote() {
    cFTP* ftp = connectedFtp();
    if (!ftp)
        return;
    RemotePicker picker(*ftp, this);
    if (picker.exec() == QDialog::Accepted)
        openRemote(picker.picked());
}

void FRestore::chooseTarget() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Restore to"), QFileInfo(m_target->text()).absolutePath());
    if (!folder.isEmpty())
        m_target->setText(folder);
}

QStringList FRestore::tickedNames() const {
    QStringList names;
    const std::function<void(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* item) {
        if (item->checkState(0) == Qt::Checked)
            names << item->data(0, NameRole).toString();
        else if (item->checkState(0) == Qt::PartiallyChecked)
            for (int i = 0; i < item->childCount(); ++i)
                visit(item->child(i));
    };
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        visit(m_tree->topLevelItem(i));
    return names;
}

void FRestore::restoreTicked() {
    const QStringList names = tickedNames();
    if (names.isEmpty()) {
        LogLine(*m_log, QStringLiteral("Tick the files and folders to restore"), IconFailure);
        return;
    }
    const std::unique_ptr<EventLog> kept = m_catalog.restoreLog(m_archiveName);
    TeeLog both(*m_log, kept.get());
    ForwardedLog log(this, both);
    const ExistingQuestion ask = [this](const QString& path) {
        ExistingChoice choice;
        QMetaObject::invokeMethod(
            this, [&] { choice = m_question(path); }, Qt::BlockingQueuedConnection);
        return choice;
    };
    const RestoreRequest request{m_archive, m_target->text(), names, m_password};
    try {
        withProgress<RestoreOutcome>([&] {
            return restoreArchive(request, log, ask,
                                  [this](const QString&, qint64 done, qint64 total) {
                                      m_done = done;
                                      m_total = total;
                                      return !m_cancelled;
                                  });
        });
    } catch (const VError& error) {
        LogLine(both, errorLogText(error.record()), IconFailure);
    }
}

void FRestore::checkOpenArchive() {
    const QString problem = withProgress<QString>([this] {
        return checkArchive(
            m_archive,
            [this](qint64 done, qint64 total) {
                m_done = done;
                m_total = total;
                return !m_cancelled;
            },
            m_password);
    });
    if (problem.isEmpty())
        LogLine(*m_log, QStringLiteral("The archive %1 reads back whole").arg(m_archiveName),
                IconSuccess);
    else
        LogLine(*m_log,
                QStringLiteral("The archive %1 does not read back whole (%2)")
                    .arg(m_archiveName, problem),
                IconFailure);
}

template <typename Result> Result FRestore::withProgress(const std::function<Result()>& work) {
    m_cancelled = false;
    m_done = 0;
    m_total = 0;
    setBusy(true);
    // Work that ends shows a full bar, not the last value polled while it ran.
    struct Idle {
        FRestore* window;
        ~Idle() {
            window->setBusy(false);
            window->m_progress->setValue(window->m_cancelled ? 0 : window->m_progress->maximum());
        }
    } idle{this};
    return runOffThread<Result>(work, [this] {
        const qint64 total = m_total;
        m_progress->setRange(0, total > 0 ? 1000 : 0);
        m_progress->setValue(total > 0 ? int(std::min<qint64>(m_done, total) * 1000 / total) : 0);
    });
}

void FRestore::setBusy(bool busy) {
    m_busy = busy;
    const bool open = !m_archive.isEmpty();
    for (QWidget* control : findChildren<QPushButton*>())
        control->setEnabled(!busy);
    m_restore->setEnabled(!busy && open);
    m_check->setEnabled(!busy && open);
    m_cancel->setEnabled(busy);
    if (!busy)
        m_progress->setRange(0, 1000);
}
