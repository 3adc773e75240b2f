#include "fOptions.h"

#include "BrowseForFolder.h"
#include "StorePath.h"
#include "TestConnection.h"
#include "common/DatePattern.h"
#include "common/Error.h"
#include "common/UserFolders.h"
#include "store/Autostart.h"
#include "store/Settings.h"
#include "ui/look/Question.h"
#include "ui/look/WindowLook.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QPushButton* addButton(QWidget* parent, const char* name, const QString& caption, QRect where,
                       const QColor& colour) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(where);
    paintButton(button, colour);
    return button;
}

// One of the captions of the Label2 array; a caption wider than its place is not cut off.
QLabel* addLabel(QWidget* parent, int index, const QString& caption, QRect where) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QStringLiteral("Label2_%1").arg(index));
    const QSize needed = label->sizeHint();
    where.setWidth(std::max(where.width(), needed.width()));
    where.setHeight(std::max(where.height(), needed.height()));
    label->setGeometry(where);
    return label;
}

} // namespace

fOptions::fOptions(Settings& settings, const Autostart& autostart, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_autostart(autostart) {
    setObjectName(QStringLiteral("fOptions"));
    setWindowTitle(QStringLiteral("Vestrel Options"));
    setFont(verdanaFont());
    paintBackground(this, WindowBlue);

    // Created in tab order: the store, its pattern, the FTP switch and fields, then the buttons.
    QLabel* pathLabel =
        addLabel(this, 0, QStringLiteral("Path to archivestore:"), twipRect(120, 120, 1470, 195));
    m_txtPath = addTextBox(this, "txtPath", pathLabel, twipRect(60, 360, 4530, 285));
    // Empty means the default store, made on first use.
    m_txtPath->setPlaceholderText(QString::fromStdString(UserFolders::defaultStoreFolder()));
    m_cmdPath = addButton(this, "cmdPath", QStringLiteral("..."), twipRect(4680, 360, 315, 285),
                          QColor(255, 255, 128));
    m_cmdPath->setToolTip(QStringLiteral("Select folder"));
    m_cmdPath->setAccessibleName(QStringLiteral("Select folder"));
    connect(m_cmdPath, &QPushButton::clicked, this, &fOptions::browseForStore);

    QLabel* patternLabel = addLabel(this, 6, QStringLiteral("Archive filename pattern"),
                                    twipRect(120, 780, 1710, 195));
    m_txtArchPat = addTextBox(this, "txtArchPat", patternLabel, twipRect(60, 1020, 4890, 285));
    // A pattern is easy to get wrong; the name it gives shows while it is typed.
    auto* nextName = new QLabel(this);
    nextName->setObjectName(QStringLiteral("lblNextName"));
    nextName->setGeometry(twipRect(120, 1350, 4800, 195));
    const auto showNextName = [nextName](const QString& pattern) {
        const QString name = formatDate(localNow(), pattern) + QStringLiteral(".zip");
        nextName->setText(QStringLiteral("Next archive: ") + name);
        nextName->setAccessibleName(nextName->text());
    };
    connect(m_txtArchPat, &QLineEdit::textChanged, nextName, showNextName);
    showNextName(QString());

    m_frame1 = new QGroupBox(QStringLiteral("FTP"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(twipRect(60, 1620, 4935, 1935));
    // The switch has no caption of its own: it sits on the frame's edge beside "FTP".
    m_chkFtp = new QCheckBox(m_frame1);
    m_chkFtp->setObjectName(QStringLiteral("chkFtp"));
    m_chkFtp->setGeometry(twipRect(540, 0, 225, 240));
    m_chkFtp->setAccessibleName(QStringLiteral("FTP"));
    m_chkFtp->setAccessibleDescription(
        QStringLiteral("Upload each archive to the FTP server after packing"));

    m_txtFTP =
        addTextBox(m_frame1, "txtFTP",
                   addLabel(m_frame1, 1, QStringLiteral("FTP IP"), twipRect(120, 360, 495, 195)),
                   twipRect(120, 585, 1695, 285));
    m_txtPort =
        addTextBox(m_frame1, "txtPort",
                   addLabel(m_frame1, 2, QStringLiteral("Port"), twipRect(1920, 360, 285, 195)),
                   twipRect(1920, 585, 495, 285));
    m_txtUser =
        addTextBox(m_frame1, "txtUser",
                   addLabel(m_frame1, 3, QStringLiteral("User"), twipRect(2505, 360, 330, 195)),
                   twipRect(2505, 585, 1215, 285));
    m_txtPassword =
        addTextBox(m_frame1, "txtPassword",
                   addLabel(m_frame1, 4, QStringLiteral("Password"), twipRect(3810, 360, 690, 195)),
                   twipRect(3810, 585, 975, 285));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    // Every character shows as "*", whatever the style's own mask character is.
    m_txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    m_txtFTPPath = addTextBox(
        m_frame1, "txtFTPPath",
        addLabel(m_frame1, 5, QStringLiteral("Path in FTP"), twipRect(120, 1020, 840, 195)),
        twipRect(120, 1245, 3015, 285));
    // Object stores sign each request for one region; FTP servers ignore the box.
    m_txtRegion =
        addTextBox(m_frame1, "txtRegion",
                   addLabel(m_frame1, 9, QStringLiteral("Region"), twipRect(3240, 1020, 840, 195)),
                   twipRect(3240, 1245, 1575, 285));
    m_lblUnencrypted = new QLabel(
        QStringLiteral("s3+http:// is not encrypted: archives travel readable by anyone on the "
                       "way. Use it only on a network you trust."),
        m_frame1);
    m_lblUnencrypted->setObjectName(QStringLiteral("lblUnencrypted"));
    m_lblUnencrypted->setGeometry(twipRect(120, 1560, 4695, 360));
    m_lblUnencrypted->setWordWrap(true);
    m_lblUnencrypted->setAccessibleName(m_lblUnencrypted->text());
    QPalette warning = m_lblUnencrypted->palette();
    warning.setColor(QPalette::WindowText, QColor(160, 0, 0));
    m_lblUnencrypted->setPalette(warning);
    // Follows the box, from the text load() puts in it on; the box starts empty.
    m_lblUnencrypted->setVisible(false);
    connect(m_txtFTP, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_lblUnencrypted->setVisible(
            text.trimmed().startsWith(QLatin1String("s3+http://"), Qt::CaseInsensitive));
    });

    // The switches stack below the FTP frame, one a row; the buttons follow them.
    int row = 3660;
    const auto addSwitch = [this, &row](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, this);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(twipRect(120, row, 4800, 285));
        row += 300;
        return box;
    };
    m_chkAutostart = addSwitch("chkAutostart", QStringLiteral("Start Vestrel when I log in"));
    m_chkCatchUp =
        addSwitch("chkCatchUp", QStringLiteral("Run missed backups when Vestrel starts"));
    m_chkQuiet = addSwitch("chkQuiet", QStringLiteral("Tell me only about failed backups"));
    m_chkVerify = addSwitch("chkVerify", QStringLiteral("Check each archive after packing"));

    // Typed twice, as it cannot be seen: an archive sealed with a mistyped password is lost.
    m_txtArchPass = addTextBox(this, "txtArchPass",
                               addLabel(this, 7, QStringLiteral("Encrypt archives with password"),
                                        twipRect(120, row + 60, 4800, 195)),
                               twipRect(120, row + 300, 4815, 285));
    row += 540;
    m_txtArchPass2 = addTextBox(
        this, "txtArchPass2",
        addLabel(this, 8, QStringLiteral("Repeat password"), twipRect(120, row + 60, 4800, 195)),
        twipRect(120, row + 300, 4815, 285));
    for (QLineEdit* box : {m_txtArchPass, m_txtArchPass2}) {
        box->setEchoMode(QLineEdit::Password);
        box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    }
    row += 660;
    row += 60;
    setFixedSize(pixels(5055), pixels(row + 435 + 75));
    m_cmdSave = addButton(this, "cmdSave", QStringLiteral("Save"), twipRect(1980, row, 1455, 435),
                          Qt::white);
    m_cmdSave->setDefault(true);
    connect(m_cmdSave, &QPushButton::clicked, this, &fOptions::save);
    m_cmdCancel = addButton(this, "cmdCancel", QStringLiteral("Close"),
                            twipRect(3540, row, 1455, 435), Qt::white);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* test = new TestConnection(
        this, {m_txtFTP, m_txtPort, m_txtUser, m_txtPassword, m_txtFTPPath, m_txtRegion}, m_cmdSave,
        m_settings.text(Options::TlsFingerprint));
    const QList<QWidget*> tabOrder{m_txtPath,      m_cmdPath,   m_txtArchPat,   m_chkFtp,
                                   m_txtFTP,       m_txtPort,   m_txtUser,      m_txtPassword,
                                   m_txtFTPPath,   m_txtRegion, m_chkAutostart, m_chkCatchUp,
                                   m_chkQuiet,     m_chkVerify, m_txtArchPass,  m_txtArchPass2,
                                   test->button(), m_cmdSave,   m_cmdCancel};
    for (qsizetype i = 1; i < tabOrder.size(); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
    for (QWidget* way : {static_cast<QWidget*>(m_txtPath), static_cast<QWidget*>(m_cmdPath),
                         static_cast<QWidget*>(m_cmdCancel)}) {
        way->installEventFilter(this);
    }
    load();
}

fOptions::~fOptions() = default;

QLineEdit* fOptions::addTextBox(QWidget* parent, const char* name, QLabel* label, QRect where) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(where);
    QString caption = label->text();
    caption.remove(QLatin1Char(':'));
    box->setAccessibleName(caption);
    label->setBuddy(box);
    return box;
}

void fOptions::load() {
    m_txtPath->setText(m_settings.text(Options::Store));
    m_txtFTP->setText(m_settings.text(Options::Ftp));
    m_txtPort->setText(m_settings.text(Options::Port));
    m_txtUser->setText(m_settings.text(Options::User));
    m_txtPassword->setText(m_settings.text(Options::Password));
    // Shown as the run takes it: "1", any other non-zero number or "True" means upload.
    m_chkFtp->setChecked(m_settings.isOn(Options::Upload));
    m_txtArchPat->setText(m_settings.text(Options::ArchivePattern));
    m_txtFTPPath->setText(m_settings.text(Options::FtpPath));
    m_txtRegion->setText(m_settings.text(Options::S3Region));
    m_chkAutostart->setChecked(m_autostart.isOn());
    m_txtArchPass->setText(m_settings.text(Options::ArchivePassword));
    m_txtArchPass2->setText(m_txtArchPass->text());
    m_chkCatchUp->setChecked(m_settings.isOn(Options::CatchUp));
    m_chkQuiet->setChecked(m_settings.isOn(Options::QuietSuccess));
    m_chkVerify->setChecked(m_settings.isOn(Options::Verify));
}

void fOptions::browseForStore() {
    // Opens at the folder in the box, or at home while the box names none.
    const QFileInfo shown(m_txtPath->text());
    const QString start =
        !m_txtPath->text().isEmpty() && shown.isDir() ? shown.absoluteFilePath() : QDir::homePath();
    const QString folder = BrowseForFolder(this, QStringLiteral("Select folder"), start);
    if (!folder.isEmpty()) {
        m_txtPath->setText(folder);
    }
}

void fOptions::save() {
    if (!storePathNamesSomething(m_txtPath->text()) && !createStoreFolder()) {
        m_txtPath->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (m_txtArchPass->text() != m_txtArchPass2->text()) {
        m_txtArchPass2->selectAll();
        m_txtArchPass2->setFocus(Qt::OtherFocusReason);
        return;
    }
    // Texts go as typed: neither trimmed nor checked.
    try {
        const auto key = [](const Option& option) {
            return QLatin1String(option.key);
        };
        const auto truth = [](const QCheckBox* box) {
            return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
        };
        m_settings.WriteOptions({
            {key(Options::Store), m_txtPath->text()},
            {key(Options::Ftp), m_txtFTP->text()},
            {key(Options::Port), m_txtPort->text()},
            {key(Options::User), m_txtUser->text()},
            {key(Options::Password), m_txtPassword->text()},
            {key(Options::Upload), truth(m_chkFtp)},
            {key(Options::ArchivePattern), m_txtArchPat->text()},
            {key(Options::FtpPath), m_txtFTPPath->text()},
            {key(Options::S3Region), m_txtRegion->text()},
            {key(Options::ArchivePassword), m_txtArchPass->text()},
            {key(Options::CatchUp), truth(m_chkCatchUp)},
            {key(Options::QuietSuccess), truth(m_chkQuiet)},
            {key(Options::Verify), truth(m_chkVerify)},
        });
        m_autostart.set(m_chkAutostart->isChecked());
    } catch (const VError& error) {
        // Nothing was written; the dialog stays open with what the user typed.
        QMessageBox::warning(this, QStringLiteral("Vestrel"), errorLineText(error.record()));
        return;
    }
    accept();
}

bool fOptions::createStoreFolder() {
    const QString path = m_txtPath->text();
    const bool pattern = path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?'));
    if (pattern ||
        askQuestion(this, QStringLiteral("The folder \"%1\" does not exist. Create it?").arg(path),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes) {
        return false;
    }
    if (!QDir().mkpath(path)) {
        QMessageBox::warning(this, QStringLiteral("Vestrel"),
                             QStringLiteral("The folder \"%1\" cannot be created.").arg(path));
        return false;
    }
    return true;
}

bool fOptions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Checked once the focus has landed, so the new owner of the focus is known.
        QMetaObject::invokeMethod(this, &fOptions::holdFocusOnInvalidPath, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void fOptions::holdFocusOnInvalidPath() {
    if (!isVisible() || !isActiveWindow()) {
        return;
    }
    const QWidget* now = focusWidget();
    if (now == m_txtPath || now == m_cmdPath || now == m_cmdCancel) {
        return;
    }
    if (!storePathNamesSomething(m_txtPath->text())) {
        m_txtPath->setFocus(Qt::OtherFocusReason);
    }
}
