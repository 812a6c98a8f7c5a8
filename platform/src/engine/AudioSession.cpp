#include "plat/audiosession.h"

#include "plat/audio.h"

#include <cstdlib>
#include <string_view>

namespace plat {

namespace {
// Status of an injected failure: the session refused the request.
constexpr long kSessionRefused = -50;

Error injected(std::string description) {
    return Error{kOSStatusErrorDomain, kSessionRefused, std::move(description)};
}
} // namespace

AVAudioSession& AVAudioSession::sharedInstance() {
    static AVAudioSession session;
    return session;
}

AVAudioSession::AVAudioSession() {
    const char* value = std::getenv(kFailureVariable);
    std::string_view rest = value ? value : "";
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (item == "category")
            categoryFailure_ = injected("The audio session's category cannot be set (" +
                                        std::string(kFailureVariable) + ").");
        else if (item == "active")
            activeFailure_ = injected("The audio session cannot be activated or deactivated (" +
                                      std::string(kFailureVariable) + ").");
    }
}

Result<void> AVAudioSession::setCategory(Category category, Mode mode, CategoryOptions) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (categoryFailure_) return *categoryFailure_;
    category_ = category;
    mode_ = mode;
    return {};
}

Result<void> AVAudioSession::setActive(bool active, SetActiveOptions) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (activeFailure_) return *activeFailure_;
    active_ = active;
    return {};
}

AVAudioSession::Category AVAudioSession::category() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return category_;
}

AVAudioSession::Mode AVAudioSession::mode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}

bool AVAudioSession::isActive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_;
}

void AVAudioSession::setFailure(Operation operation, std::optional<Error> error) {
    std::lock_guard<std::mutex> lock(mutex_);
    (operation == Operation::setCategory ? categoryFailure_ : activeFailure_) = std::move(error);
}

} // namespace plat
