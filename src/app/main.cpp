#include <QApplication>

#include "app/frm_kavo.h"
#include "platform/translations.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kavo::InstallJapaneseQtTranslations(app);
    kavo::frmKavo window;
    window.show();
    return app.exec();
}
