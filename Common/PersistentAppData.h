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

// The two views of the settings that the application and the plug-in share.
struct GroupDefaults {
    // A new store object for the group's domain on each call; nothing when the name cannot be a
    // domain.
    static std::shared_ptr<plat::UserDefaults> shared(std::string_view group = sharedContainer);
    // The process's standard store itself, with the group's domain added to its search list: reads
    // look in the application's domain first, then the group's; writes go to the application's.
    static std::shared_ptr<plat::UserDefaults> combined(std::string_view group = sharedContainer);
};

class PersistentAppData {
public:
    enum class Storage : int { defaults = 0, shared = 1, combined = 2 };
    static std::optional<Storage> storageFromRawValue(int rawValue);

    // The one instance of the process, made on first use (also under concurrent first use).
    static PersistentAppData& sharedInstance();

    // `defaults` and `combined` are one store, the process's standard one, which from now on also
    // searches the group's domain after the application's own (writes still go to the
    // application's); `shared` is the group's domain. A group name that cannot be a settings domain
    // is reported and replaced by a store that lives in memory for this run.
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
    // Writes the entries of the standard store and of fresh reads of the group's and the combined
    // store to standard output at once.
    virtual void dumpout() const;

    // "left", "top", "width", "height" of the standardised rectangle.
    static plat::plist::Dictionary frameToDictionary(const plat::CGRect& frame);
    // A rectangle from a dictionary stored under key in the application's store: 0, 0, 100, 100
    // with the entries it has applied. Nothing when the value is missing or not a dictionary of numbers.
    static std::optional<plat::CGRect> dictionaryToFrame(std::string_view key);

private:
    plat::UserDefaults& store(Storage s) const;
    std::string group_;
    std::shared_ptr<plat::UserDefaults> defaults;
    std::shared_ptr<plat::UserDefaults> shared;
    std::shared_ptr<plat::UserDefaults> combined;
};
