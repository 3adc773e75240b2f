#include "FEvent.h"

#include "ui/look/WindowLook.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

namespace {

constexpr int ProgressSteps = 1000;

} // namespace

FEvent::FEvent(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_txtEvent(new QPlainTextEdit(this))
    , m_lstFiles(new QListWidget(this))
    , m_lv(new QTreeWidget(this))
    , m_cmdClose(new QPushButton(QStringLiteral("Close"), this))
    , m_progress(new QProgressBar(this))
    , m_log(m_lv) {
    setObjectName(QStringLiteral("FEvent"));
    setWindowTitle(QStringLiteral("Vestrel Events"));
    setFixedSize(pixels(10110), pixels(5700));
    paintBackground(this, WindowBlue);

    m_txtEvent->setObjectName(QStringLiteral("txtEvent"));
    m_txtEvent->setAccessibleName(QStringLiteral("Session"));
    m_txtEvent->setGeometry(pixels(60), pixels(60), pixels(4755), pixels(1905));
    m_txtEvent->setFont(verdanaFont());
    m_txtEvent->setReadOnly(true);

    m_lstFiles->setObjectName(QStringLiteral("lstFiles"));
    m_lstFiles->setAccessibleName(QStringLiteral("Files"));
    m_lstFiles->setGeometry(pixels(4860), pixels(60), pixels(5130), pixels(1785));
    m_lstFiles->setFont(verdanaFont());
    connect(m_lstFiles, &QListWidget::itemDoubleClicked, this, &FEvent::openEntry);

    m_lv->setObjectName(QStringLiteral("LV"));
    m_lv->setAccessibleName(QStringLiteral("Log"));
    m_lv->setGeometry(pixels(60), pixels(2100), pixels(9975), pixels(3075));
    m_lv->setFont(verdanaFont());
    // One column fills the list beside its vertical scroll bar.
    m_lv->setColumnWidth(0, m_lv->width() - 25);

    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    // Laid out at 5280 + 435 twips, the button would end one pixel below the window; it is
    // lifted by that pixel so that all of it shows.
    m_cmdClose->setGeometry(pixels(8640), pixels(5700) - pixels(435), pixels(1455), pixels(435));
    paintButton(m_cmdClose, Qt::white);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    // Under the log, beside "Close": what the run is doing, while it runs.
    m_progress->setObjectName(QStringLiteral("prgRun"));
    m_progress->setAccessibleName(QStringLiteral("Progress"));
    m_progress->setGeometry(pixels(60), m_cmdClose->y() + 2, pixels(8520),
                            m_cmdClose->height() - 4);
    m_progress->setRange(0, ProgressSteps);
    m_progress->setTextVisible(true);
    m_progress->setFont(verdanaFont());
    m_progress->hide();
}

FEvent::~FEvent() = default;

void FEvent::setSessionId(int id) {
    m_sessionId = id;
}

QString FEvent::txtEvent() const {
    return m_txtEvent->toPlainText();
}

void FEvent::setTxtEvent(const QString& text) {
    m_txtEvent->setPlainText(text);
}

void FEvent::pathsRead(const QStringList& paths) {
    m_lstFiles->clear();
    m_lstFiles->addItems(paths);
}

void FEvent::appendLine(const QString& text, int icon) {
    m_failed = m_failed || icon == IconFailure;
    m_log.appendLine(text, icon);
}

void FEvent::clear() {
    m_log.clear();
}

void FEvent::progress(const RunProgress& progress) {
    const bool packing = progress.stage == RunProgress::Stage::Packing;
    const QString name = QFileInfo(progress.item).fileName();
    m_progress->setFormat(QStringLiteral("%1 %2: %3 of %4")
                              .arg(packing ? QStringLiteral("Packing") : QStringLiteral("Sending"),
                                   name.isEmpty() ? progress.item : name,
                                   locale().formattedDataSize(progress.done),
                                   locale().formattedDataSize(progress.total)));
    m_progress->setValue(progress.total > 0 ? int(progress.done * ProgressSteps / progress.total)
                                            : 0);
    m_progress->setToolTip(progress.item);
    m_progress->show();
}

void FEvent::runFinished() {
    m_progress->hide();
}

void FEvent::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_cmdClose->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FEvent::openEntry(QListWidgetItem* item) {
    // What the desktop opens, or fails to open, is its own affair.
    QDesktopServices::openUrl(QUrl::fromLocalFile(item->text()));
}
