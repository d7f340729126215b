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

std::optional<std::string> LoadStoredText(const std::string& group, const std::string& name) {
    const QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    const QVariant value = store.value(QString::fromStdString(group + "/" + name));
    if (!value.isValid())
        return std::nullopt;
    return value.toString().trimmed().toStdString();
}

void SaveStoredTexts(const std::string& group, const std::vector<std::pair<std::string, std::string>>& values) {
    QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    store.beginGroup(QString::fromStdString(group));
    for (const auto& [name, text] : values)
        store.setValue(QString::fromStdString(name), QString::fromStdString(text));
    store.endGroup();
    store.sync();
}

}  // namespace kavo
