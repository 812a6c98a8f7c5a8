#include "PersistentAppData.h"

#include "plat/console.h"

#include <map>
#include <mutex>

const std::string sharedContainer = "group.KWOB.YUX-Sorvane";

namespace UserDefaultsExtension {

std::shared_ptr<plat::UserDefaults> shared(std::string_view group) {
    if (auto store = plat::UserDefaults::suite(group)) return store;
    // Every read of the same unusable name must find the same values, so its memory store is kept.
    static std::mutex mutex;
    static auto* inMemory = new std::map<std::string, std::shared_ptr<plat::UserDefaults>, std::less<>>;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto it = inMemory->find(group); it != inMemory->end()) return it->second;
    plat::Console::shared().writeLine("UserDefaults.shared : ERROR: the settings group '" +
                                      plat::shownText(group) +
                                      "' is not a valid store name (letters, digits, '.', '_' and '-' "
                                      "only); group settings are kept in memory for this run.");
    auto store = plat::UserDefaults::inMemory(std::string(group));
    inMemory->emplace(std::string(group), store);
    return store;
}

std::shared_ptr<plat::UserDefaults> combined(std::string_view group) {
    auto standard = plat::UserDefaults::standard();
    standard->addSuite(*shared(group));
    return standard;
}

} // namespace UserDefaultsExtension

std::optional<PersistentAppData::Storage> PersistentAppData::storageFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 2) return std::nullopt;
    return Storage(rawValue);
}

PersistentAppData& PersistentAppData::sharedInstance() {
    static PersistentAppData instance;
    return instance;
}

PersistentAppData::PersistentAppData(std::string_view groupName)
    : group(groupName), defaults(plat::UserDefaults::standard()),
      shared(UserDefaultsExtension::shared(groupName)), combined(UserDefaultsExtension::combined(groupName)) {
}

plat::UserDefaults& PersistentAppData::store(Storage s) const {
    switch (s) {
    case Storage::shared:
        return *shared;
    case Storage::combined:
        return *combined;
    case Storage::defaults:
        break;
    }
    return *defaults;
}

void PersistentAppData::setString(std::string_view key, std::string_view value, Storage for_) {
    store(for_).set(key, plat::plist::Value(value));
}
std::optional<std::string> PersistentAppData::getString(std::string_view key, Storage from) const {
    return store(from).string(key);
}
void PersistentAppData::setInteger(std::string_view key, std::int64_t value, Storage for_) {
    store(for_).set(key, plat::plist::Value(static_cast<long long>(value)));
}
std::int64_t PersistentAppData::getInteger(std::string_view key, Storage from) const {
    return store(from).integer(key);
}
void PersistentAppData::setFloat(std::string_view key, float value, Storage for_) {
    store(for_).set(key, plat::plist::Value(value));
}
float PersistentAppData::getFloat(std::string_view key, Storage from) const {
    return store(from).floatValue(key);
}
void PersistentAppData::setBool(std::string_view key, bool value, Storage for_) {
    store(for_).set(key, plat::plist::Value(value));
}
bool PersistentAppData::getBool(std::string_view key, Storage from) const {
    return store(from).boolValue(key);
}
void PersistentAppData::setURL(std::string_view key, const std::optional<plat::URL>& value, Storage for_) {
    store(for_).setURL(key, value);
}
std::optional<plat::URL> PersistentAppData::getUrl(std::string_view key, Storage from) const {
    return store(from).url(key);
}
void PersistentAppData::setObject(std::string_view key, const std::optional<plat::plist::Value>& value,
                                  Storage for_) {
    if (value)
        store(for_).set(key, *value);
    else
        store(for_).removeObject(key);
}
std::optional<plat::plist::Value> PersistentAppData::getObject(std::string_view key, Storage from) const {
    return store(from).object(key);
}

void PersistentAppData::dumpout() const {
    auto& console = plat::Console::shared();
    auto section = [&](const char* title, const plat::UserDefaults& s) {
        console.writeLine(title);
        for (const auto& [key, value] : s.dictionaryRepresentation())
            console.writeLine(plat::shownText(key) + " = " + plat::shownText(value.description()) + " \n");
    };
    section("PersistentAppData::dumpout() : UserDefaults.standard : ", *plat::UserDefaults::standard());
    section("PersistentAppData::dumpout() : UserDefaults.shared : ", *UserDefaultsExtension::shared(group));
    section("PersistentAppData::dumpout() : UserDefaults.combined : ",
            *UserDefaultsExtension::combined(group));
}

plat::plist::Dictionary PersistentAppData::frameToDictionary(const plat::CGRect& frame) {
    return plat::plist::Dictionary{
        {"left", plat::plist::Value(float(frame.minX()))},
        {"top", plat::plist::Value(float(frame.minY()))},
        {"width", plat::plist::Value(float(frame.width()))},
        {"height", plat::plist::Value(float(frame.height()))},
    };
}

std::optional<plat::CGRect> PersistentAppData::dictionaryToFrame(std::string_view key) {
    const auto value = sharedInstance().getObject(key, Storage::defaults);
    if (!value) return std::nullopt;
    const auto* dict = value->asDictionary();
    if (!dict) return std::nullopt;
    for (const auto& entry : *dict)
        if (!entry.second.asNumber()) return std::nullopt;
    plat::CGRect rect(0, 0, 100, 100);
    for (const auto& [k, v] : *dict) {
        const auto n = plat::CGFloat(float(*v.asNumber()));
        if (k == "left")
            rect.origin.x = n;
        else if (k == "top")
            rect.origin.y = n;
        else if (k == "width")
            rect.size.width = n;
        else if (k == "height")
            rect.size.height = n;
    }
    return rect;
}
