#pragma once

#include <QDialog>

class Autostart;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Settings;

// The options dialog: where archives go, how they are named, and the FTP server they are
// uploaded to. It shows the settings as they are when it is created (or load() is called) and
// writes them only on "Save".
class fOptions : public QDialog {
    Q_OBJECT

public:
    fOptions(Settings& settings, const Autostart& autostart, QWidget* parent = nullptr);
    ~fOptions() override;

    void load();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addTextBox(QWidget* parent, const char* name, QLabel* label, QRect place);
    void browseForStore();
    void save();
    // Asks whether to create the store folder the box names; true once it exists.
    bool createStoreFolder();
    // Keeps the focus in the store path while it names nothing; "..." and "Close" stay
    // reachable, since they are the ways out.
    void holdFocusOnInvalidPath();

    Settings& m_settings;
    const Autostart& m_autostart;
    QLineEdit* m_txtPath = nullptr;
    QPushButton* m_cmdPath = nullptr;
    QLineEdit* m_txtArchPat = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QCheckBox* m_chkFtp = nullptr;
    QLineEdit* m_txtFTP = nullptr;
    QLineEdit* m_txtPort = nullptr;
    QLineEdit* m_txtUser = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QLineEdit* m_txtFTPPath = nullptr;
    QLineEdit* m_txtRegion = nullptr;
    QLabel* m_lblUnencrypted = nullptr;
    QCheckBox* m_chkAutostart = nullptr;
    QLineEdit* m_txtArchPass = nullptr;
    QLineEdit* m_txtArchPass2 = nullptr;
    QCheckBox* m_chkCatchUp = nullptr;
    QCheckBox* m_chkQuiet = nullptr;
    QCheckBox* m_chkVerify = nullptr;
    QPushButton* m_cmdSave = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
