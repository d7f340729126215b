#include <QApplication>

#include "app/frm_kavo.h"
#include "catalogue/context.h"
#include "platform/translations.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kavo::InstallJapaneseQtTranslations(app);
    kavo::KavoContext ctx;  // the one shared state of this program run
    kavo::frmKavo window(ctx);
    window.show();
    return app.exec();
}
