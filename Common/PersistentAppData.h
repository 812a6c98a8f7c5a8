#pragma once
// Typed settings in the application's own store, the application group's store, or both.

#include "plat/defaults.h"
#include "plat/geometry.h"
#include "plat/plist.h"
#include "plat/url.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The application group shared by the container application and the plug-in.
extern const std::string sharedContainer;

// What the settings classes add to the platform's store type.
namespace UserDefaultsExtension {
// A new store object for the group's domain on every call. A group name that cannot be a settings
// domain is reported once and gets a store that lives in memory for this run.
std::shared_ptr<plat::UserDefaults> shared(std::string_view group = sharedContainer);
// The process's standard store, after adding the group's domain to its search list: from then on
// every read through the standard store also finds the group's keys that the application's own
// domain does not hold. Writes still go to the application's domain.
std::shared_ptr<plat::UserDefaults> combined(std::string_view group = sharedContainer);
} // namespace UserDefaultsExtension

class PersistentAppData {
public:
    enum class Storage : int { defaults = 0, shared = 1, combined = 2 };
    static std::optional<Storage> storageFromRawValue(int rawValue);

    // The one instance of the process, made on first use (also under concurrent first use).
    static PersistentAppData& sharedInstance();

    // `defaults` and `combined` are the same store, the process's standard one, which from now on
    // searches the group's domain after the application's own; `shared` is the group's domain.
    // Writes through `defaults` or `combined` go to the application's domain.
    explicit PersistentAppData(std::string_view groupName = sharedContainer);
    virtual ~PersistentAppData() = default;

    virtual void setString(std::string_view key, std::string_view value, Storage for_ = Storage::defaults);
    virtual std::optional<std::string> getString(std::string_view key,
                                                 Storage from = Storage::defaults) const;
    virtual void setInteger(std::string_view key, std::int64_t value, Storage for_ = Storage::defaults);
    virtual std::int64_t getInteger(std::string_view key, Storage from = Storage::defaults) const;
    virtual void setFloat(std::string_view key, float value, Storage for_ = Storage::defaults);
    virtual float getFloat(std::string_view key, Storage from = Storage::defaults) const;
    virtual void setBool(std::string_view key, bool value, Storage for_ = Storage::defaults);
    virtual bool getBool(std::string_view key, Storage from = Storage::defaults) const;
    // An absent value removes the key.
    virtual void setURL(std::string_view key, const std::optional<plat::URL>& value,
                        Storage for_ = Storage::defaults);
    virtual std::optional<plat::URL> getUrl(std::string_view key, Storage from = Storage::defaults) const;
    // An absent value removes the key.
    virtual void setObject(std::string_view key, const std::optional<plat::plist::Value>& value,
                           Storage for_ = Storage::defaults);
    virtual std::optional<plat::plist::Value> getObject(std::string_view key,
                                                        Storage from = Storage::defaults) const;
    // Writes the entries of the standard store, then of fresh reads of the shared and combined
    // stores, to standard output at once.
    virtual void dumpout() const;

    // "left", "top", "width", "height" of the standardised rectangle.
    static plat::plist::Dictionary frameToDictionary(const plat::CGRect& frame);
    // A rectangle from a dictionary stored under key in the application's store: 0, 0, 100, 100
    // with the entries it has applied. Nothing when the value is missing or not a dictionary of numbers.
    static std::optional<plat::CGRect> dictionaryToFrame(std::string_view key);

private:
    plat::UserDefaults& store(Storage s) const;
    std::string group;
    std::shared_ptr<plat::UserDefaults> defaults;
    std::shared_ptr<plat::UserDefaults> shared;
    std::shared_ptr<plat::UserDefaults> combined;
};
