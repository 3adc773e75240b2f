#include "FVodidore.h"

#include "FocusKeeper.h"
#include "PanelText.h"
#include "backup/SkipPatterns.h"
#include "common/DatePattern.h"
#include "common/DateText.h"
#include "common/Error.h"
#include "schedule/AsText.h"
#include "schedule/NextRun.h"
#include "store/SessionStore.h"
#include "ui/look/Question.h"
#include "ui/options/BrowseForFolder.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTimer>

namespace {

constexpr int IdRole = Qt::UserRole;

// The day boxes each day option checks: all days, Monday to Friday, Sunday and Saturday.
constexpr int PresetDays[] = {127, 62, 65};

// How often the editor looks whether the scheduler moved a session on.
constexpr int ScheduleWatchMs = 1000;

QString stateOfBox(const QLineEdit* box) {
    const auto value = parseDateText(box->text());
    return value ? value->toStoredText() : box->text();
}

// What the list and "Next time:" show of a session, as one text to compare.
QString scheduleText(const BackupSession& session) {
    const auto text = [](const std::optional<DateTime>& t) {
        return t ? t->toStoredText() : QString();
    };
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(session.id)
        .arg(text(session.ntime), text(session.date), session.name)
        .arg(session.freq.value_or(-1))
        .arg(session.week.value_or(-1))
        .arg(session.days.value_or(0));
}

QString dateHelp() {
    QStringList forms = dateTextForms();
    // A form is never broken across lines ("d mmm yyyy").
    forms.replaceInStrings(QStringLiteral(" "), QStringLiteral("\u00a0"));
    return QStringLiteral("Type the date as %1 or %2.")
        .arg(forms.mid(0, forms.size() - 1).join(QStringLiteral(", ")), forms.last());
}

QString titleOf(const QString& name) {
    return name.isEmpty() ? QStringLiteral("the session without a title")
                          : QStringLiteral("\"%1\"").arg(name);
}

int indexOrNone(const std::optional<int>& value, int count) {
    return value && *value >= 0 && *value < count ? *value : -1;
}

QStringList itemTexts(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->itemText(i);
    }
    return texts;
}

} // namespace

FVodidore::FVodidore(SessionStore& store, Clock clock, Messages& messages, RunNow runNow,
                     QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_clock(std::move(clock))
    , m_messages(messages)
    , m_runNow(std::move(runNow))
    , m_ui(this) {
    setObjectName(QStringLiteral("FVodidore"));
    setWindowTitle(QStringLiteral("Vestrel"));
    connectControls();
    resize(sizeHint().expandedTo(QSize(940, 560)));
    reportingErrors([this] { FillList(); });
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, &FVodidore::refreshSchedule);
    watch->start(ScheduleWatchMs);
}

FVodidore::~FVodidore() = default;

void FVodidore::connectControls() {
    auto handle = [this](void (FVodidore::*operation)()) {
        return [this, operation] {
            reportingErrors([this, operation] { (this->*operation)(); });
        };
    };
    connect(m_ui.LV, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* current, QListWidgetItem* previous) {
                if (m_filling || !current) {
                    return;
                }
                if (!previous || !hasUnsavedEdits()) {
                    reportingErrors([this, current] { loadRow(current); });
                    return;
                }
                // The panel still shows the previous row until the user has answered; the
                // question waits until the click or key that chose the row is over.
                const int id = current->data(IdRole).toInt();
                {
                    QScopedValueRollback filling(m_filling, true);
                    m_ui.LV->setCurrentItem(previous);
                }
                QMetaObject::invokeMethod(
                    this, [this, id] { changeRowTo(id); }, Qt::QueuedConnection);
            });
    connect(m_ui.deleteSession, &QAction::triggered, this, handle(&FVodidore::DeleteSession));
    connect(m_ui.cmdAdd, &QPushButton::clicked, this, handle(&FVodidore::add));
    connect(m_ui.cmdRunNow, &QPushButton::clicked, this, handle(&FVodidore::runNow));
    connect(m_ui.cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui.cmdNow, &QPushButton::clicked, this, &FVodidore::now);
    connect(m_ui.cmbFreq, &QComboBox::currentIndexChanged, this, &FVodidore::frequencyChanged);
    connect(m_ui.optDaysGroup, &QButtonGroup::idClicked, this, &FVodidore::dayPreset);
    for (QCheckBox* day : m_ui.chkDays) {
        connect(day, &QCheckBox::toggled, this, &FVodidore::showPresetOfDays);
    }
    connect(m_ui.cmdAddFile, &QPushButton::clicked, this, &FVodidore::addFile);
    connect(m_ui.cmdAddFolder, &QPushButton::clicked, this, &FVodidore::addFolder);
    connect(m_ui.cmdDelFile, &QPushButton::clicked, this, &FVodidore::deleteFile);
    connect(m_ui.cmdApply, &QPushButton::clicked, this, handle(&FVodidore::saveChanges));

    auto* keeper = new FocusKeeper(this);
    keeper->guard(m_ui.txtDate, [this] { return leaveDateBox(); });
    keeper->guard(m_ui.txtTime, [this] { return leaveTimeBox(); });
}

void FVodidore::reportingErrors(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const VError& error) {
        m_messages.show(errorLineText(error.record()));
    } catch (const std::exception& error) {
        m_messages.show(QString::fromLocal8Bit(error.what()));
    }
}

ScheduleCaptions FVodidore::captions() const {
    ScheduleCaptions captions;
    captions.frequencies = itemTexts(m_ui.cmbFreq);
    captions.weeks = itemTexts(m_ui.cmbWeeks);
    captions.weekdays.clear();
    for (const QCheckBox* day : m_ui.chkDays) {
        captions.weekdays << day->text();
    }
    return captions;
}

std::optional<int> FVodidore::selectedId() const {
    const auto rows = m_ui.LV->selectedItems();
    return rows.isEmpty() ? std::nullopt : std::optional<int>(rows.first()->data(IdRole).toInt());
}

void FVodidore::FillList(int selId) {
    fillRows(selId);
    const auto rows = m_ui.LV->selectedItems();
    if (!rows.isEmpty()) {
        loadRow(rows.first());
    }
}

void FVodidore::fillRows(int selId) {
    QScopedValueRollback filling(m_filling, true);
    const ScheduleCaptions texts = captions();
    m_ui.LV->clear();
    int selected = -1;
    m_schedules.clear();
    for (const BackupSession& session : m_store.allSessions()) {
        m_schedules << scheduleText(session);
        auto* row = new QListWidgetItem(AsText(session, texts), m_ui.LV);
        row->setData(IdRole, session.id);
        if (session.id == selId) {
            selected = m_ui.LV->count() - 1;
        }
    }
    if (m_ui.LV->count() > 0) {
        m_ui.LV->setCurrentRow(selected >= 0 ? selected : m_ui.LV->count() - 1);
    }
}

void FVodidore::loadRow(const QListWidgetItem* row) {
    const auto session = m_store.session(row->data(IdRole).toInt());
    if (session) {
        showSession(*session);
    }
}

void FVodidore::showSession(const BackupSession& session) {
    const auto& date = session.date;
    m_ui.txtTime->setText(date ? formatDate(*date, QStringLiteral("hh:mm")) : QString());
    m_ui.txtDate->setText(date ? formatDate(*date, QStringLiteral("mm/dd/yy")) : QString());
    if (const auto time = timeBoxText(m_ui.txtTime->text())) {
        m_ui.txtTime->setText(*time);
    }
    m_ui.txtMess->setText(session.name);
    m_ui.chkAuto->setChecked(session.autopack);
    m_ui.spnKeep->setValue(session.keep);
    m_ui.txtSkip->setPlainText(session.skip);
    {
        const QSignalBlocker quiet(m_ui.cmbFreq);
        m_ui.cmbFreq->setCurrentIndex(indexOrNone(session.freq, m_ui.cmbFreq->count()));
    }
    // Resets week and days even when the frequency is the one shown before; the stored ones
    // are put back right after.
    frequencyChanged();
    m_ui.cmbWeeks->setCurrentIndex(indexOrNone(session.week, m_ui.cmbWeeks->count()));
    for (int i = 0; i < 7; ++i) {
        m_ui.chkDays[i]->setChecked(session.days.value_or(0) & (1 << i));
    }
    showNextTime(session);
    m_ui.lstFiles->clear();
    m_ui.lstFiles->addItems(m_store.sessionFiles(session.id));
    m_ui.lblDateHelp->hide();
    m_shown = panelState();
}

void FVodidore::showNextTime(const BackupSession& session) {
    // Shown only: the stored next run time stays as the last Save or run left it. The
    // scheduler starts nothing before it, so the time shown is never earlier (a minute before
    // it, since a run's own minute counts as still to come).
    BackupSession copy = session;
    const Clock notBefore = [this, ntime = session.ntime] {
        return ntime ? std::max(m_clock(), ntime->addMinutes(-1)) : m_clock();
    };
    const DateTime next = NextRun(copy, notBefore, m_messages);
    m_ui.lblNext->setText(QStringLiteral("Next time: ") +
                          formatDate(next, QStringLiteral("dd mmm yyyy - hh:mm (dddd)")));
}

void FVodidore::refreshSchedule() {
    try {
        QStringList now;
        for (const BackupSession& session : m_store.allSessions()) {
            now << scheduleText(session);
        }
        if (now == m_schedules) {
            return;
        }
        const auto id = selectedId();
        fillRows(id.value_or(-1));
        if (const auto session = id ? m_store.session(*id) : std::nullopt) {
            showNextTime(*session);
        }
    } catch (const std::exception&) {
        // Looked at again next time; a failing database shows itself when the user acts.
    }
}

QStringList FVodidore::panelState() const {
    QStringList state{m_ui.txtMess->text(),
                      stateOfBox(m_ui.txtDate),
                      stateOfBox(m_ui.txtTime),
                      QString::number(m_ui.cmbFreq->currentIndex()),
                      QString::number(m_ui.cmbWeeks->currentIndex()),
                      QString::number(checkedDays()),
                      QString::number(m_ui.chkAuto->isChecked()),
                      QString::number(m_ui.spnKeep->value()),
                      m_ui.txtSkip->toPlainText()};
    for (int i = 0; i < m_ui.lstFiles->count(); ++i) {
        state << m_ui.lstFiles->item(i)->text();
    }
    return state;
}

bool FVodidore::hasUnsavedEdits() const {
    return selectedId() && !m_shown.isEmpty() && panelState() != m_shown;
}

bool FVodidore::settleUnsavedEdits(const QString& question) {
    if (!hasUnsavedEdits()) {
        return true;
    }
    const auto answer = askQuestion(this, question.arg(titleOf(m_ui.txtMess->text())),
                                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                    QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        m_shown.clear();
        return true;
    }
    bool saved = false;
    if (answer == QMessageBox::Save) {
        reportingErrors([this, &saved] { saved = saveSession(); });
    }
    return saved;
}

void FVodidore::changeRowTo(int id) {
    if (settleUnsavedEdits(QStringLiteral("Save the changes to %1?"))) {
        reportingErrors([this, id] { FillList(id); });
    }
}

void FVodidore::closeEvent(QCloseEvent* event) {
    if (settleUnsavedEdits(QStringLiteral("Save the changes to %1 before closing?"))) {
        QWidget::closeEvent(event);
    } else {
        event->ignore();
    }
}

void FVodidore::frequencyChanged() {
    m_ui.cmbWeeks->setCurrentIndex(-1);
    m_ui.optDays[0]->setChecked(true);
    for (QCheckBox* day : m_ui.chkDays) {
        day->setChecked(false);
    }
    showPresetOfDays();
    enableForFrequency(m_ui.cmbFreq->currentIndex());
}

void FVodidore::showPresetOfDays() {
    const int days = checkedDays();
    m_ui.optDaysGroup->setExclusive(false);
    for (int k = 0; k < 3; ++k) {
        m_ui.optDays[k]->setChecked(PresetDays[k] == days);
    }
    m_ui.optDaysGroup->setExclusive(true);
}

// Only the controls whose fields the frequency reads can be edited.
void FVodidore::enableForFrequency(int freq) {
    const bool daily = freq == static_cast<int>(Frequency::Daily);
    m_ui.cmbWeeks->setEnabled(freq == static_cast<int>(Frequency::Weekly));
    for (QRadioButton* option : m_ui.optDays) {
        option->setEnabled(daily);
    }
    for (QCheckBox* day : m_ui.chkDays) {
        day->setEnabled(daily);
    }
}

void FVodidore::dayPreset(int option) {
    for (int i = 0; i < 7; ++i) {
        m_ui.chkDays[i]->setChecked(PresetDays[option] & (1 << i));
    }
}

int FVodidore::checkedDays() const {
    int days = 0;
    for (int i = 0; i < 7; ++i) {
        if (m_ui.chkDays[i]->isChecked()) {
            days |= 1 << i;
        }
    }
    return days;
}

bool FVodidore::leaveDateBox() {
    const auto text = dateBoxText(m_ui.txtDate->text());
    if (text && *text != m_ui.txtDate->text()) {
        m_ui.txtDate->setText(*text);
    }
    showDateHelp(text ? QString() : dateHelp());
    return text.has_value();
}

bool FVodidore::leaveTimeBox() {
    const auto text = timeBoxText(m_ui.txtTime->text());
    if (text && *text != m_ui.txtTime->text()) {
        m_ui.txtTime->setText(*text);
    }
    showDateHelp(text ? QString() : QStringLiteral("Type the time as hh:mm or hh:mm:ss."));
    return text.has_value();
}

void FVodidore::showDateHelp(const QString& text) {
    m_ui.lblDateHelp->setText(text);
    m_ui.lblDateHelp->setVisible(!text.isEmpty());
}

void FVodidore::now() {
    const DateTime moment = m_clock();
    m_ui.txtDate->setText(dateBoxText(moment));
    m_ui.txtTime->setText(timeBoxText(moment));
}

void FVodidore::add() {
    if (!settleUnsavedEdits(QStringLiteral("Save the changes to %1 before adding a session?"))) {
        return;
    }
    // The next whole minute: the earliest time a one-time session can be saved for.
    const DateTime now = m_clock();
    const DateTime moment = now.addSeconds(60 - now.second());
    // A session added and never given a title is taken again instead of adding another.
    int id = 0;
    const auto unnamed = m_store.firstUnnamedSession();
    auto session = unnamed ? m_store.session(*unnamed) : std::nullopt;
    if (session) {
        session->date = moment;
        session->freq = static_cast<int>(Frequency::Once);
        // Not due until saved, as a new session: its old next run time would start it at once.
        session->ntime.reset();
        m_store.updateSession(*session);
        id = session->id;
    } else {
        id = m_store.insertSession(moment);
    }
    // The added session is the one selected, wherever its next run time puts it in the list.
    FillList(id);
    m_ui.txtMess->setFocus(Qt::OtherFocusReason);
}

void FVodidore::saveChanges() {
    saveSession();
}

bool FVodidore::saveSession() {
    const auto id = selectedId();
    if (!id) {
        return false;
    }
    const auto stored = m_store.session(*id);
    if (!stored) {
        return false;
    }
    if ((m_ui.txtDate->text() + m_ui.txtTime->text()).trimmed().isEmpty()) {
        now();
    }
    // Two boxes that each parse alone may not parse together ("14:30:00" in the date box).
    const QString dateText = dateBoxText(m_ui.txtDate->text()).value_or(m_ui.txtDate->text());
    const auto date = parseDateText(dateText + QLatin1Char(' ') + m_ui.txtTime->text());
    if (!date) {
        if (leaveDateBox() && leaveTimeBox()) {
            showDateHelp(dateHelp());
        }
        m_ui.txtDate->setFocus(Qt::OtherFocusReason);
        return false;
    }
    if (m_ui.cmbFreq->currentIndex() == static_cast<int>(Frequency::Once) && *date < m_clock()) {
        m_messages.show(QStringLiteral("This time has passed. Choose a later date or time."));
        m_ui.txtDate->setFocus(Qt::OtherFocusReason);
        return false;
    }
    const QString skip = m_ui.txtSkip->toPlainText();
    if (const QString problem = SkipPatterns(skip).problem(); !problem.isEmpty()) {
        m_messages.show(QStringLiteral("Skip: ") + problem);
        m_ui.txtSkip->setFocus(Qt::OtherFocusReason);
        return false;
    }
    BackupSession session = *stored;
    session.date = *date;
    session.keep = m_ui.spnKeep->value();
    session.skip = skip;
    session.name = m_ui.txtMess->text();
    session.freq = m_ui.cmbFreq->currentIndex();
    session.week = m_ui.cmbWeeks->currentIndex();
    session.autopack = m_ui.chkAuto->isChecked();
    session.days = checkedDays();
    session.ntime = NextRun(session, m_clock, m_messages);

    QStringList paths;
    for (int i = 0; i < m_ui.lstFiles->count(); ++i) {
        paths << m_ui.lstFiles->item(i)->text();
    }
    m_store.saveSession(session, paths);
    FillList(*id);
    return true;
}

void FVodidore::DeleteSession() {
    const auto id = selectedId();
    if (!id) {
        return;
    }
    const auto session = m_store.session(*id);
    // A session never saved with a title goes by the title it is being given.
    const QString name = session && !session->name.isEmpty() ? session->name : m_ui.txtMess->text();
    if (askQuestion(this, QStringLiteral("Delete the session \"%1\" and its file list?").arg(name),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    const int position = m_ui.LV->row(m_ui.LV->selectedItems().constFirst());
    m_store.deleteSession(*id);
    fillRows(-1);
    const int count = m_ui.LV->count();
    if (count == 0) {
        return;
    }
    {
        QScopedValueRollback filling(m_filling, true);
        m_ui.LV->setCurrentRow(std::min(position, count - 1));
    }
    loadRow(m_ui.LV->currentItem());
}

void FVodidore::addFile() {
    QFileDialog CD(this, QStringLiteral("Select file"), startFolder(),
                   QStringLiteral("All files (*)"));
    CD.setObjectName(QStringLiteral("CD"));
    CD.setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog, as the folder picker uses: the same on every desktop, and drivable by
    // tests and desktop automation.
    CD.setOption(QFileDialog::DontUseNativeDialog);
    if (CD.exec() == QDialog::Accepted && !CD.selectedFiles().isEmpty()) {
        m_ui.lstFiles->addItem(CD.selectedFiles().constFirst());
    }
}

void FVodidore::addFolder() {
    const QString folder = BrowseForFolder(this, QStringLiteral("Select folder"), startFolder());
    if (!folder.isEmpty()) {
        m_ui.lstFiles->addItem(folder);
    }
}

// The folder of the selected path, or else of the last one, or else the user's home.
QString FVodidore::startFolder() const {
    const QListWidgetItem* entry = m_ui.lstFiles->currentItem();
    if (!entry && m_ui.lstFiles->count() > 0) {
        entry = m_ui.lstFiles->item(m_ui.lstFiles->count() - 1);
    }
    const QFileInfo path(entry ? entry->text() : QString());
    if (path.isDir()) {
        return path.absoluteFilePath();
    }
    return entry && path.dir().exists() ? path.absolutePath() : QDir::homePath();
}

void FVodidore::deleteFile() {
    const auto entries = m_ui.lstFiles->selectedItems();
    if (!entries.isEmpty()) {
        delete entries.first();
    }
}

void FVodidore::runNow() {
    auto id = selectedId();
    if (!id || !m_store.session(*id) || !m_runNow) {
        return;
    }
    if (hasUnsavedEdits()) {
        const auto answer = askQuestion(
            this,
            QStringLiteral("Save the changes to %1 before running it? No runs it as it was "
                           "last saved.")
                .arg(titleOf(m_ui.txtMess->text())),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Yes && !saveSession())) {
            return;
        }
    }
    m_runNow(*id);
}
