#include "EditorControls.h"

#include "schedule/AsText.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// Each control carries its control name (code and tests find it by that) and the name a screen
// reader says: its caption, or the label beside it.
template <typename W> W* named(W* widget, const QString& name, const QString& accessibleName) {
    widget->setObjectName(name);
    widget->setAccessibleName(accessibleName);
    return widget;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption) {
    return named(new QPushButton(caption, parent), name, caption);
}

QLabel* labelFor(QWidget* control, const QString& caption) {
    auto* label = new QLabel(caption, control->parentWidget());
    label->setBuddy(control);
    control->setAccessibleName(caption);
    return label;
}

} // namespace

EditorControls::EditorControls(QWidget* window) {
    auto* layout = new QHBoxLayout(window);
    layout->addWidget(buildSessionList(window), 2);
    buildPanel(window);
    layout->addWidget(frmProp, 3);
    orderTabs(window);
}

QWidget* EditorControls::buildSessionList(QWidget* window) {
    auto* side = new QWidget(window);
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);

    LV = new QListWidget(side);
    LV->setObjectName(QStringLiteral("LV"));
    LV->setSelectionMode(QAbstractItemView::SingleSelection);
    // Row texts are made from the sessions; they are never edited in place.
    LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    column->addWidget(labelFor(LV, QStringLiteral("List of Backup Sessions")));
    column->addWidget(LV, 1);

    deleteSession = new QAction(QStringLiteral("Delete"), LV);
    deleteSession->setObjectName(QStringLiteral("mnuDelete"));
    deleteSession->setShortcut(QKeySequence::Delete);
    deleteSession->setShortcutContext(Qt::WidgetShortcut);
    LV->addAction(deleteSession);
    LV->setContextMenuPolicy(Qt::ActionsContextMenu);

    cmdAdd = button(side, QStringLiteral("cmdAdd"), QStringLiteral("Add"));
    cmdRunNow = button(side, QStringLiteral("cmdRunNow"), QStringLiteral("Run Now"));
    cmdClose = button(side, QStringLiteral("cmdClose"), QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdRunNow);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    column->addLayout(buttons);
    return side;
}

void EditorControls::buildPanel(QWidget* window) {
    frmProp = named(new QGroupBox(window), QStringLiteral("frmProp"),
                    QStringLiteral("Session properties"));
    auto* grid = new QGridLayout(frmProp);

    txtMess = new QLineEdit(frmProp);
    txtMess->setObjectName(QStringLiteral("txtMess"));
    grid->addWidget(labelFor(txtMess, QStringLiteral("Title")), 0, 0);
    grid->addWidget(txtMess, 0, 1, 1, 4);

    txtDate = new QLineEdit(frmProp);
    txtDate->setObjectName(QStringLiteral("txtDate"));
    cmdNow = button(frmProp, QStringLiteral("cmdNow"), QStringLiteral("Now"));
    txtTime = new QLineEdit(frmProp);
    txtTime->setObjectName(QStringLiteral("txtTime"));
    grid->addWidget(labelFor(txtDate, QStringLiteral("Date")), 1, 0);
    grid->addWidget(txtDate, 1, 1);
    grid->addWidget(cmdNow, 1, 2);
    grid->addWidget(labelFor(txtTime, QStringLiteral("Time")), 1, 3, Qt::AlignRight);
    grid->addWidget(txtTime, 1, 4);
    // Says which forms the boxes read while one holds text it cannot read.
    lblDateHelp = new QLabel(frmProp);
    lblDateHelp->setObjectName(QStringLiteral("lblDateHelp"));
    lblDateHelp->setWordWrap(true);
    lblDateHelp->hide();
    grid->addWidget(lblDateHelp, 2, 1, 1, 4);

    cmbFreq = new QComboBox(frmProp);
    cmbFreq->setObjectName(QStringLiteral("cmbFreq"));
    cmbFreq->addItems(defaultFrequencyCaptions());
    // The week list has no label of its own; its tool tip names it.
    const QString weeks = QStringLiteral("Week of the month");
    cmbWeeks = named(new QComboBox(frmProp), QStringLiteral("cmbWeeks"), weeks);
    cmbWeeks->setToolTip(weeks);
    cmbWeeks->addItems(defaultWeekCaptions());
    cmbWeeks->setCurrentIndex(-1);
    grid->addWidget(labelFor(cmbFreq, QStringLiteral("Frequency of Backup")), 3, 0);
    grid->addWidget(cmbFreq, 3, 1, 1, 2);
    grid->addWidget(cmbWeeks, 3, 3, 1, 2);

    grid->addWidget(buildDays(), 4, 1, 1, 4);

    chkAuto = named(new QCheckBox(QStringLiteral("Run Hidden"), frmProp), QStringLiteral("chkAuto"),
                    QStringLiteral("Run Hidden"));
    grid->addWidget(chkAuto, 5, 1, 1, 4);

    // "Keep the last [N] archives": the box sits inside its own caption.
    spnKeep = named(new QSpinBox(frmProp), QStringLiteral("spnKeep"),
                    QStringLiteral("Keep the last N archives"));
    spnKeep->setRange(0, 9999);
    spnKeep->setSpecialValueText(QStringLiteral("all"));
    spnKeep->setToolTip(QStringLiteral("0 keeps all archives of this session"));
    // Its inner text box takes the focus: it is what a screen reader names.
    spnKeep->findChild<QLineEdit*>()->setAccessibleName(spnKeep->accessibleName());
    auto* keep = new QHBoxLayout;
    auto* keepLabel = new QLabel(QStringLiteral("Keep the last"), frmProp);
    keepLabel->setBuddy(spnKeep);
    keep->addWidget(keepLabel);
    keep->addWidget(spnKeep);
    keep->addWidget(new QLabel(QStringLiteral("archives"), frmProp));
    keep->addStretch(1);
    grid->addLayout(keep, 6, 1, 1, 4);

    QWidget* files = buildFiles();
    grid->addWidget(labelFor(lstFiles, QStringLiteral("Files")), 7, 0, Qt::AlignTop);
    grid->addWidget(files, 7, 1, 1, 4);
    grid->setRowStretch(7, 2);

    txtSkip = new QPlainTextEdit(frmProp);
    txtSkip->setObjectName(QStringLiteral("txtSkip"));
    txtSkip->setPlaceholderText(
        QStringLiteral("One pattern a line, e.g. *.tmp, .cache/, node_modules/"));
    txtSkip->setTabChangesFocus(true);
    grid->addWidget(labelFor(txtSkip, QStringLiteral("Skip")), 8, 0, Qt::AlignTop);
    grid->addWidget(txtSkip, 8, 1, 1, 4);
    grid->setRowStretch(8, 1);

    lblNext = new QLabel(QStringLiteral("Next time:"), frmProp);
    lblNext->setObjectName(QStringLiteral("lblNext"));
    cmdApply = button(frmProp, QStringLiteral("cmdApply"), QStringLiteral("Save Changes"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblNext, 1);
    bottom->addWidget(cmdApply);
    grid->addLayout(bottom, 9, 0, 1, 5);

    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
}

QWidget* EditorControls::buildDays() {
    auto* box = new QWidget(frmProp);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);

    auto* options = new QVBoxLayout;
    optDaysGroup = new QButtonGroup(box);
    const QString presets[] = {QStringLiteral("All Days"), QStringLiteral("Only Workdays"),
                               QStringLiteral("Weekends")};
    for (int k = 0; k < 3; ++k) {
        optDays[k] = named(new QRadioButton(presets[k], box), QStringLiteral("optDays_%1").arg(k),
                           presets[k]);
        optDaysGroup->addButton(optDays[k], k);
        options->addWidget(optDays[k]);
    }
    options->addStretch(1);
    row->addLayout(options);

    auto* days = new QGridLayout;
    const QStringList names = defaultWeekdayCaptions();
    for (int i = 0; i < 7; ++i) {
        chkDays[i] =
            named(new QCheckBox(names[i], box), QStringLiteral("chkDays_%1").arg(i), names[i]);
        days->addWidget(chkDays[i], i % 4, i / 4);
    }
    row->addSpacing(12);
    row->addLayout(days);
    row->addStretch(1);
    return box;
}

QWidget* EditorControls::buildFiles() {
    auto* box = new QWidget(frmProp);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    lstFiles = new QListWidget(box);
    lstFiles->setObjectName(QStringLiteral("lstFiles"));
    lstFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    row->addWidget(lstFiles, 1);

    auto* buttons = new QVBoxLayout;
    cmdAddFile = button(box, QStringLiteral("cmdAddFile"), QStringLiteral("Add File"));
    cmdAddFolder = button(box, QStringLiteral("cmdAddFolder"), QStringLiteral("Add Folder"));
    cmdDelFile = button(box, QStringLiteral("cmdDelFile"), QStringLiteral("Del"));
    buttons->addWidget(cmdAddFile);
    buttons->addWidget(cmdAddFolder);
    buttons->addWidget(cmdDelFile);
    buttons->addStretch(1);
    row->addLayout(buttons);
    return box;
}

void EditorControls::orderTabs(QWidget* window) {
    QList<QWidget*> order = {LV,     cmdAdd,  cmdRunNow, txtMess, txtDate,
                             cmdNow, txtTime, cmbFreq,   cmbWeeks};
    order.append({optDays.begin(), optDays.end()});
    order.append({chkDays.begin(), chkDays.end()});
    order.append({chkAuto, spnKeep, lstFiles, cmdAddFile, cmdAddFolder, cmdDelFile, txtSkip,
                  cmdApply, cmdClose});
    for (qsizetype i = 1; i < order.size(); ++i) {
        window->setTabOrder(order[i - 1], order[i]);
    }
}
