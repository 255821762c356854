// A group box drawn as a dialog's group box is: the frame's top edge runs
// through the middle of the title, which stands on it over the window colour,
// so the title takes only the top half-line of the box and its first row of
// controls stays clear of both.
#pragma once

#include <QGroupBox>

class CGroupBox : public QGroupBox {
    Q_OBJECT
  public:
    explicit CGroupBox(const QString& title, QWidget* parent = nullptr);

    // Where the title text stands and where the frame's top edge runs, in the box's coordinates.
    QRect TitleRect() const;
    int FrameTop() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
