#pragma once

#include <QDialog>

#include "catalogue/context.h"

class QLineEdit;

namespace kavo {

/// The layout dialog.
class frmLayout : public QDialog {
    Q_OBJECT

public:
    frmLayout(KavoContext& ctx, QLineEdit* mainCount, QWidget* parent = nullptr);

private:
    KavoContext& m_ctx;
    QLineEdit* m_mainCount;
};

}  // namespace kavo
