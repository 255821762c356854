// The up-down control: two arrow buttons attached to a buddy edit. It keeps a
// position within its range and writes it into the buddy as decimal text
// (with thousands separators unless switched off). The arrows and the Up/Down
// keys in the buddy step it; every step that moves rewrites the buddy's text.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class CSpinButton : public QWidget {
    Q_OBJECT
  public:
    explicit CSpinButton(QWidget* parent = nullptr);

    void SetBuddy(QLineEdit* buddy);
    QLineEdit* GetBuddy() const { return Buddy; }

    // The range may run downwards (minimum above maximum): the up arrow then lowers the number.
    void SetRange32(int minimum, int maximum);
    void GetRange32(int& minimum, int& maximum) const;

    // Clamps to the range and writes the buddy's text (always, even if unchanged).
    void SetPos32(int position);
    int GetPos32() const;

    void SetThousands(bool on) { Thousands = on; }
    bool HasThousands() const { return Thousands; }

    // One step up (+1) or down (-1), as an arrow click or key does.
    void Step(int direction);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int Clamp(int position) const;
    void WriteBuddy();

    QLineEdit* Buddy = nullptr;
    QToolButton* UpButton;
    QToolButton* DownButton;
    int Minimum = 0;
    int Maximum = 100;
    int Position = 0;
    bool Thousands = true;
};
