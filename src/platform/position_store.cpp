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

WindowPosition LoadWindowPosition(WindowPosition fallback) {
    const QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    ReadInto(store, "Top", fallback.Top);
    ReadInto(store, "Left", fallback.Left);
    return fallback;
}

void SaveWindowPosition(WindowPosition position) {
    QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    store.setValue(QStringLiteral("Top"), QString::number(position.Top));
    store.setValue(QStringLiteral("Left"), QString::number(position.Left));
    store.sync();
}

}  // namespace kavo
