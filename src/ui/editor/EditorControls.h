#pragma once

#include <QString>
#include <array>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QSpinBox;
class QPushButton;
class QRadioButton;
class QWidget;

// The session editor's controls, laid out in `window`: the session list with its buttons on the
// left, the property panel on the right. Both lists take the room the window gains when resized.
struct EditorControls {
    explicit EditorControls(QWidget* window);

    QListWidget* LV = nullptr;
    QAction* deleteSession = nullptr; // Delete key and context menu of LV
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRunNow = nullptr;
    QPushButton* cmdClose = nullptr;

    QGroupBox* frmProp = nullptr;
    QLineEdit* txtMess = nullptr;
    QLineEdit* txtDate = nullptr;
    QPushButton* cmdNow = nullptr;
    QLineEdit* txtTime = nullptr;
    QLabel* lblDateHelp = nullptr;
    QComboBox* cmbFreq = nullptr;
    QComboBox* cmbWeeks = nullptr;
    QButtonGroup* optDaysGroup = nullptr;
    std::array<QRadioButton*, 3> optDays{};
    std::array<QCheckBox*, 7> chkDays{};
    QCheckBox* chkAuto = nullptr;
    QSpinBox* spnKeep = nullptr;
    QPlainTextEdit* txtSkip = nullptr;
    QListWidget* lstFiles = nullptr;
    QPushButton* cmdAddFile = nullptr;
    QPushButton* cmdAddFolder = nullptr;
    QPushButton* cmdDelFile = nullptr;
    QPushButton* cmdApply = nullptr;
    QLabel* lblNext = nullptr;

private:
    QWidget* buildSessionList(QWidget* window);
    void buildPanel(QWidget* window);
    QWidget* buildDays();
    QWidget* buildFiles();
    void orderTabs(QWidget* window);
};
