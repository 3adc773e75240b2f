#include "RemotePicker.h"

#include "backup/EventLog.h"
#include "common/Error.h"
#include "ftp/cFTP.h"

#include <QDialogButtonBox>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

QString joinRemotePath(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

RemotePicker::RemotePicker(cFTP& ftp, QWidget* parent)
    : QDialog(parent)
    , m_ftp(ftp)
    , m_entries(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("RemotePicker"));
    setWindowTitle(QStringLiteral("Archive on the server"));
    resize(520, 360);
    auto* layout = new QVBoxLayout(this);
    m_entries->setObjectName(QStringLiteral("tvwRemote"));
    m_entries->setAccessibleName(QStringLiteral("Server folder"));
    m_entries->setRootIsDecorated(false);
    m_entries->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    m_entries->setColumnWidth(0, 260);
    layout->addWidget(m_entries);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* up = buttons->addButton(QStringLiteral("Up"), QDialogButtonBox::ActionRole);
    up->setObjectName(QStringLiteral("cmdUp"));
    for (QAbstractButton* button : buttons->buttons())
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &RemotePicker::open);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_entries, &QTreeWidget::itemDoubleClicked, this, &RemotePicker::open);
    connect(up, &QPushButton::clicked, this, [this] {
        QString folder = m_folder;
        const qsizetype cut = folder.lastIndexOf(QLatin1Char('/'));
        list(cut <= 0 ? QStringLiteral("/") : folder.left(cut));
    });
    list(m_ftp.LogOnFolder());
}

void RemotePicker::list(const QString& folder) {
    try {
        m_ftp.setDirectory(folder);
        if (CurrentError().isSet())
            return;
        const std::vector<FtpListEntry> entries = m_ftp.ListEntries();
        m_folder = folder;
        setWindowTitle(QStringLiteral("Archive on the server: ") + folder);
        m_entries->clear();
        const QLocale locale;
        for (const FtpListEntry& entry : entries) {
            const bool isFolder = entry.attributes & FtpAttribute::Folder;
            auto* item = new QTreeWidgetItem(
                m_entries,
                {entry.name, isFolder ? QStringLiteral("folder") : locale.toString(entry.size),
                 entry.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm"))});
            item->setData(0, Qt::UserRole, isFolder);
        }
    } catch (const VError&) {
        // The folder stays as it was listed.
    }
}

void RemotePicker::open() {
    const QTreeWidgetItem* item = m_entries->currentItem();
    if (!item)
        return;
    const QString path = joinRemotePath(m_folder, item->text(0));
    if (item->data(0, Qt::UserRole).toBool()) {
        list(path);
        return;
    }
    m_picked = path;
    accept();
}
