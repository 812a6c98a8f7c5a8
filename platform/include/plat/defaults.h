#pragma once
// Settings stores: one property-list file per domain under $XDG_CONFIG_HOME.
//
// Every change is written through atomically; a read notices when another process replaced the
// file and re-reads it. Stores may be used from any thread. Objects naming the same domain share
// its contents.

#include "plat/plist.h"
#include "plat/url.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

class UserDefaults {
public:
    // The application's own domain, named by the main bundle's identifier.
    static std::shared_ptr<UserDefaults> standard();
    // A named domain (an application group's, say). Nothing when the name cannot be a file name.
    static std::shared_ptr<UserDefaults> suite(std::string_view name);
    // A store that lives only in this object, for when no file can be used.
    static std::shared_ptr<UserDefaults> inMemory(std::string name = "memory");

    // Letters, digits, '.', '_' and '-' only; not empty, not starting with '.'.
    static bool isValidDomainName(std::string_view name);

    const std::string& domainName() const { return domain_; }
    // Reads look in the named domain after this store's own; writes still go to this store only.
    void addSuite(std::string_view name);
    // The same for another store's own domain (an in-memory one included).
    void addSuite(const UserDefaults& store);

    std::optional<plist::Value> object(std::string_view key) const;
    // Strings as stored; numbers as their text.
    std::optional<std::string> string(std::string_view key) const;
    // Numbers, booleans, and strings that hold a number; 0 otherwise.
    std::int64_t integer(std::string_view key) const;
    double doubleValue(std::string_view key) const;
    float floatValue(std::string_view key) const { return float(doubleValue(key)); }
    // Booleans, non-zero numbers, and "YES"/"true"/"1" in any case; false otherwise.
    bool boolValue(std::string_view key) const;
    // URL strings, and paths (absolute, or starting with '~') as file URLs.
    std::optional<URL> url(std::string_view key) const;
    // Own domain first, then each added suite for keys not yet seen.
    plist::Dictionary dictionaryRepresentation() const;

    void set(std::string_view key, plist::Value value);
    // An absent value removes the key.
    void setURL(std::string_view key, const std::optional<URL>& url);
    void removeObject(std::string_view key);

    struct Domain;
    UserDefaults(std::string name, std::shared_ptr<Domain> domain);
    ~UserDefaults();

private:
    std::string domain_;
    std::shared_ptr<Domain> own_;
    mutable std::mutex searchMutex_;
    std::vector<std::shared_ptr<Domain>> search_;
    std::vector<std::shared_ptr<Domain>> searchList() const;
};

} // namespace plat
