#include "app/frm_layout.h"

namespace kavo {

frmLayout::frmLayout(KavoContext& ctx, QLineEdit* mainCount, QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_mainCount(mainCount) {
    setObjectName(QStringLiteral("frmLayout"));
}

}  // namespace kavo
