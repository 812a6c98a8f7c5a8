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

class PersistentAppData {
public:
    enum class Storage : int { defaults = 0, shared = 1, combined = 2 };
    static std::optional<Storage> storageFromRawValue(int rawValue);

    // The one instance of the process, made on first use (also under concurrent first use).
    static PersistentAppData& sharedInstance();

    // `defaults` is the application's own domain and stays its own; `shared` is the group's
    // domain; `combined` reads the application's domain first, then the group's, and writes to
    // the application's. A group name that cannot be a settings domain is reported and replaced
    // by a store that lives in memory for this run.
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
    // Writes every store's entries to standard output at once.
    virtual void dumpout() const;

    // "left", "top", "width", "height" of the standardised rectangle.
    static plat::plist::Dictionary frameToDictionary(const plat::CGRect& frame);
    // A rectangle from a dictionary stored under key in the application's store: 0, 0, 100, 100
    // with the entries it has applied. Nothing when the value is missing or not a dictionary of numbers.
    static std::optional<plat::CGRect> dictionaryToFrame(std::string_view key);

private:
    plat::UserDefaults& store(Storage s) const;
    std::shared_ptr<plat::UserDefaults> defaults;
    std::shared_ptr<plat::UserDefaults> shared;
    std::shared_ptr<plat::UserDefaults> combined;
};
