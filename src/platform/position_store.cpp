#include "platform/position_store.h"

#include <QSettings>
#include <QString>

namespace kavo {

namespace {

constexpr const char* kOrganisation = "Marlun";
constexpr const char* kApplication = "Kavo";

void ReadInto(const QSettings& store, const char* name, int32_t& field) {
    const QVariant value = store.value(QString::fromLatin1(name));
    if (!value.isValid())
        return;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (ok)
        field = number;
}

}  // namespace

void LoadWindowPosition(KavoContext& ctx) {
    const QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    ReadInto(store, "Top", ctx.WindowTop);
    ReadInto(store, "Left", ctx.WindowLeft);
}

void SaveWindowPosition(int32_t top, int32_t left) {
    QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    store.setValue(QStringLiteral("Top"), QString::number(top));
    store.setValue(QStringLiteral("Left"), QString::number(left));
    store.sync();
}

}  // namespace kavo
