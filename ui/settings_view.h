// The base of every settings page and itself the blank page (template 101).
// A page's controls come from its dialog template, each with its control id as
// object name. The page binds them to members in DoDataExchange, wires its
// handlers in ConnectHandlers, and shows values through the fill operations;
// each user change goes straight into the document through a store operation.
#pragma once

#include "descriptors.h"
#include "spin_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QWidget>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CPrinterDoc;
class QAbstractButton;
class QAction;

// Menu command ids a page touches.
inline constexpr int kCmdSaveCommandFile = 32772;

class CSettingsView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kBlankTemplateId = 101;

    // The blank page.
    explicit CSettingsView(CPrinterDoc* doc, QWidget* parent = nullptr);
    // A page shown with template `templateId`.
    CSettingsView(int templateId, CPrinterDoc* doc, QWidget* parent = nullptr);
    ~CSettingsView() override;

    int TemplateId() const { return Template; }
    CPrinterDoc* GetDocument() const { return Doc; }
    // Empty when the template loaded; otherwise why the page stays empty.
    const std::string& TemplateError() const { return LoadError; }

    // Binds the controls (once), runs the view update, then greys the save
    // command once per document in write-only mode.
    void OnInitialUpdate();

    // Shows every setting of the page; the page overrides it.
    virtual void FillControls() {}

    // The settings the page shows, each with the control that shows it (a check box,
    // the first radio of a group, or the control a label stands beside), found by
    // filling the controls once; meant for a page never initialised, whose
    // controls have no handlers, so the document is not written.
    std::vector<std::pair<std::string, QWidget*>> SettingControls();

    // The control with `id` (its object name), or nullptr.
    QWidget* Control(int id) const;
    template <class T> T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }

  protected:
    // Binds members to template controls: DDX_Control(1018, m_BlankPgs) for each.
    virtual void DoDataExchange() {}
    // Wires each editable control to its handler (the page's message map).
    virtual void ConnectHandlers() {}
    // The view update: reset first-change flags, FillControls, ShowTitle.
    virtual void OnUpdate() {}

    // Re-runs the member binding, as a data exchange towards the controls does.
    void UpdateData() { DoDataExchange(); }

    template <class T> void DDX_Control(int id, T*& member) { member = ControlAs<T>(id); }

    void ShowTitle(QTextEdit* title, unsigned stringId);
    void MarkChanged();
    void EnableSaveCommand();

    void FillCombo(const ValueList& list, QComboBox* combo);
    void FillCheck(const CheckPair& pair, QCheckBox* check);
    void FillText(const TextSetting& setting, QLineEdit* edit);
    void FillSpin(const RangeSetting& setting, CSpinButton* spin);
    void FillSwitchedSpin(const SwitchedRange& setting, CSpinButton* spin, QCheckBox* check);
    void FillRadioSpin(const RadioRange& setting, CSpinButton* spin, QRadioButton* first,
                       QRadioButton* second, QRadioButton* number);

    void StoreCombo(QComboBox* combo);
    void StoreCheck(QCheckBox* check, const CheckPair& pair);
    void StoreText(QLineEdit* edit, const TextSetting& setting);
    void StoreSpin(QLineEdit* edit, const RangeSetting& setting);
    void StoreSwitchedSpin(QCheckBox* check, QLineEdit* edit, const SwitchedRange& setting);
    void StoreRadio(int choice, const std::string& numberText, const RadioRange& setting);

    // First-change protocol of a text-changed handler: true when the
    // notification is to be ignored (no edit yet, or the one the fill caused).
    static bool SwallowFirstChange(QLineEdit* edit, int& flag);

    // The notifications: CBN_SELENDOK, BN_CLICKED, EN_CHANGE.
    void OnSelEndOk(QComboBox* combo, std::function<void()> handler);
    void OnClicked(QAbstractButton* button, std::function<void()> handler);
    void OnChange(QLineEdit* edit, std::function<void()> handler);

    // The handler patterns, ready-wired. The descriptors are the document's and outlive the page.
    void HandleCombo(QComboBox* combo);
    void HandleCheck(QCheckBox* check, const CheckPair& pair);
    void HandleText(QLineEdit* edit, int& flag, const TextSetting& setting);
    void HandleSpinEdit(QLineEdit* edit, int& flag, const RangeSetting& setting);
    void HandleSwitchedCheck(QCheckBox* check, CSpinButton* spin, const SwitchedRange& setting);
    void HandleSwitchedEdit(QLineEdit* edit, int& flag, QCheckBox* check, const SwitchedRange& setting);
    void HandleRadios(QRadioButton* first, QRadioButton* second, QRadioButton* number, CSpinButton* spin,
                      int& flag, const RadioRange& setting);

    // Sets a check or radio state from the program (a radio's group partners are left alone).
    static void SetCheck(QAbstractButton* button, bool checked);

    // The command `id` of the frame this page is in (object name = id), or nullptr.
    QAction* FrameCommand(int id) const;

    void paintEvent(QPaintEvent* event) override;

  private:
    void Init();
    std::string CurrentValue(const std::string& name) const;
    // An edit's or item's text as the ANSI bytes the document holds (digits and keys convert whole).
    static std::string EditBytes(const QString& text);
    void Store(const std::string& name, const std::string& value);
    void Record(const std::string& name, QWidget* control);

    CPrinterDoc* Doc;
    int Template;
    std::string LoadError;
    bool Bound = false;
    std::vector<std::pair<std::string, QWidget*>>* Recording = nullptr;
};
