#pragma once
// The process's audio session: what kind of audio the application makes and whether it is active.
// Linux has no system-wide arbiter, so the session keeps the application's choices; its failures
// can be injected (in code, or with SORVANE_AUDIO_SESSION_FAIL=category,active) so that callers'
// error paths run.

#include "plat/error.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace plat {

class AVAudioSession {
public:
    enum class Category { ambient, soloAmbient, playback, record, playAndRecord };
    enum class Mode { defaultMode, measurement, moviePlayback, spokenAudio };
    using CategoryOptions = std::uint32_t;
    using SetActiveOptions = std::uint32_t;
    enum class Operation { setCategory, setActive };

    static constexpr const char* kFailureVariable = "SORVANE_AUDIO_SESSION_FAIL";

    static AVAudioSession& sharedInstance();

    // On failure nothing changes.
    Result<void> setCategory(Category category, Mode mode, CategoryOptions options = 0);
    Result<void> setActive(bool active, SetActiveOptions options = 0);

    Category category() const;
    Mode mode() const;
    bool isActive() const;

    // Makes every later call of that operation fail with `error` (nothing: succeed again).
    void setFailure(Operation operation, std::optional<Error> error);

    AVAudioSession(const AVAudioSession&) = delete;
    AVAudioSession& operator=(const AVAudioSession&) = delete;

private:
    AVAudioSession();
    mutable std::mutex mutex_;
    Category category_ = Category::soloAmbient;
    Mode mode_ = Mode::defaultMode;
    bool active_ = false;
    std::optional<Error> categoryFailure_;
    std::optional<Error> activeFailure_;
};

} // namespace plat
