#pragma once
// Folder locations, a directory guard, and images loaded from the web into image views.

#include "plat/ui.h"
#include "plat/url.h"

#include <array>
#include <memory>
#include <optional>
#include <string_view>

// Filled by getPaths(); the shared folders are declared for later use.
extern std::optional<plat::URL> documentsURL;
extern std::optional<plat::URL> resourcesURL;
extern std::optional<plat::URL> sharedURLAudio;
extern std::optional<plat::URL> sharedURLMIDI;

extern const std::array<std::string_view, 197> capitals;

// True when a folder is at the URL, or could be made there (with missing parents). A file that is
// not a folder is reported and answers false.
bool ensureDirectoryExists(const plat::URL& url);

// Resolves the documents and resources folders and logs them.
void getPaths();

// Fetches the image in the background and sets it on the main queue if the view still exists.
// A failed transfer or data that is no image are logged and leave the current image alone.
void loadFrom(const std::shared_ptr<plat::UIImageView>& view, std::string_view URLAddress);

// Fetches the image in the background (60 s time-out), holding the view until the answer came, and
// sets the answer's image on the main queue whatever its status; an answer that is no image clears
// the view. A failed transfer is printed and leaves the current image alone.
void getImageFromURLString(const std::shared_ptr<plat::UIImageView>& view, std::string_view imageURLString);
