// A check box whose label stands on the left and whose box stands at the
// right end of the control, as the templates' check boxes are drawn (their
// texts are padded with blanks to push the box to the right).
#pragma once

#include <QCheckBox>

class CLeftTextCheckBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit CLeftTextCheckBox(const QString& text, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

  private:
    QRect IndicatorRect() const;
};
