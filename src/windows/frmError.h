#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace wendmoor {

// The message window: a small non-modal box with the latest message and an OK button.
class frmError final : public QDialog {
    Q_OBJECT
public:
    explicit frmError(QWidget* parent = nullptr);

    QLabel* lblMessage;
    QPushButton* OKButton;

protected:
    void changeEvent(QEvent* event) override;
};

} // namespace wendmoor
