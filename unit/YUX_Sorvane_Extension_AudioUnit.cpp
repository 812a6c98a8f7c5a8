#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "Helpers.h"

#include "plat/console.h"
#include "plat/files.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// Its address tells the bundle logic which binary holds this code.
const char kBundleAnchor = 0;

std::mutex& resourceOverrideMutex() {
    static std::mutex m;
    return m;
}
// Never destroyed: a unit may still be made on the registry's thread while the process exits.
std::optional<std::optional<fs::path>>& resourceOverride() {
    static auto* directory = new std::optional<std::optional<fs::path>>;
    return *directory;
}

// A line built on the stack, for the render thread (no allocation).
template <std::size_t N>
std::string_view formatLine(char (&buffer)[N], std::string_view prefix, long long number) {
    const std::size_t n = std::min(prefix.size(), N - 24);
    std::memcpy(buffer, prefix.data(), n);
    const auto result = std::to_chars(buffer + n, buffer + N, number);
    return std::string_view(buffer, std::size_t(result.ptr - buffer));
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// A regular file, or one whose kind cannot be told (a link to itself): loading it says why it fails.
bool mayBePresetFile(const fs::path& file) {
    std::error_code ec;
    const auto status = fs::status(file, ec);
    return fs::is_regular_file(status) || (ec && status.type() != fs::file_type::not_found);
}

plat::Error missingPreset(std::string description) {
    return plat::Error{plat::kOSStatusErrorDomain, plat::kAudioUnitErr_MissingPreset, std::move(description)};
}

// A line that is its error's text too: the host's name in it is escaped only where it is printed.
plat::Error missingPreset(const std::string& before, const std::string& name, const std::string& after) {
    debugprint(before + plat::shownText(name) + after);
    return missingPreset(before + plat::cutInMiddle(name) + after);
}

} // namespace

// ---- construction --------------------------------------------------------------------------

plat::AudioComponentDescription YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect() {
    plat::AudioComponentDescription description;
    description.componentType = kComponentType;
    description.componentSubType = kComponentSubType;
    description.componentManufacturer = kComponentManufacturer;
    return description;
}

YUX_Sorvane_Extension_AudioUnit::YUX_Sorvane_Extension_AudioUnit()
    : kernelAdapter_(std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>()),
      parameters_(std::make_unique<YUX_Sorvane_Extension_Parameters>(kernelAdapter_)) {}

plat::Result<std::shared_ptr<YUX_Sorvane_Extension_AudioUnit>>
YUX_Sorvane_Extension_AudioUnit::make(const plat::AudioComponentDescription& description,
                                      plat::AudioComponentInstantiationOptions) {
    auto& console = plat::Console::shared();
    console.writeLine("AUExtension::init()");
    console.writeLine(stringValue(description.componentManufacturer) + " : " +
                      stringValue(description.componentSubType));
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> unit(new YUX_Sorvane_Extension_AudioUnit());
    // The options asked for are not ours to honour.
    auto initialised = unit->initWithComponentDescription(description, 0);
    if (!initialised.ok()) return initialised.error();
    return unit;
}

std::optional<fs::path> YUX_Sorvane_Extension_AudioUnit::resourceDirectory() {
    {
        std::lock_guard lock(resourceOverrideMutex());
        if (resourceOverride()) return *resourceOverride();
    }
    const auto bundle = plat::Bundle::containing(&kBundleAnchor);
    if (!bundle) return std::nullopt;
    const auto resources = bundle->resourceURL();
    if (!resources) return std::nullopt;
    return resources->filePath();
}

void YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(std::optional<fs::path> directory) {
    std::lock_guard lock(resourceOverrideMutex());
    if (directory)
        resourceOverride() = std::move(directory);
    else
        resourceOverride().reset();
}

void YUX_Sorvane_Extension_AudioUnit::debugprint(const std::string& text) const {
    safeprint(text);
}

// ---- parameters ----------------------------------------------------------------------------

void YUX_Sorvane_Extension_AudioUnit::onFoundParameter(long, const std::string&,
                                                       plat::AUParameterAddress address,
                                                       plat::AUValue value) {
    const auto tree = parameterTree();
    if (!tree) return;
    const auto parameter = tree->parameterWithAddress(address);
    // The parameter holds the value to its range and ignores NaN.
    if (parameter) parameter->setValue(value);
}

void YUX_Sorvane_Extension_AudioUnit::setParameter(std::int32_t address, plat::AUValue value) {
    // No parameter has a negative address.
    if (address < 0) return;
    const auto tree = parameterTree();
    if (!tree) return;
    const auto parameter = tree->parameterWithAddress(plat::AUParameterAddress(address));
    if (!parameter) return;
    if (parameter->value() != value) parameter->setValue(value);
    kernelAdapter_->setParameter(parameter->address(), value);
}

plat::AUValue YUX_Sorvane_Extension_AudioUnit::getParameter(std::int32_t address) {
    if (address < 0) return 0;
    const auto tree = parameterTree();
    if (!tree) return 0;
    const auto parameter = tree->parameterWithAddress(plat::AUParameterAddress(address));
    if (!parameter) return 0;
    return kernelAdapter_->valueForParameter(parameter->address());
}

void YUX_Sorvane_Extension_AudioUnit::setParameterTree(std::shared_ptr<plat::AUParameterTree>) {
    debugprint("AUExtension::parameterTree (set) !!!");
}

std::vector<plat::AUParameterAddress>
YUX_Sorvane_Extension_AudioUnit::parametersForOverview(plat::NSInteger) {
    debugprint("AUExtension::parametersForOverview()");
    return {};
}

void YUX_Sorvane_Extension_AudioUnit::dumpParameters(const std::string& name,
                                                     const plat::AUParameterGroup* tree, int level) {
    if (!tree) return;
    const std::string indent(std::size_t(std::max(level, 0)), ' ');
    for (const auto& child : tree->children()) {
        debugprint(indent + child->displayName());
        if (const auto* group = dynamic_cast<const plat::AUParameterGroup*>(child.get()))
            dumpParameters(group->displayName(), group, level + 1);
    }
    (void)name;
}

// ---- buses and render resources ------------------------------------------------------------

plat::AUAudioUnitBusArray& YUX_Sorvane_Extension_AudioUnit::inputBusses() {
    if (!inputBusArray_)
        inputBusArray_ = std::make_unique<plat::AUAudioUnitBusArray>(this, plat::AUAudioUnitBusType::input,
                                                                     std::vector{kernelAdapter_->inputBus()});
    debugprint("AUExtension::inputBusses: " + std::to_string(inputBusArray_->count()));
    return *inputBusArray_;
}

plat::AUAudioUnitBusArray& YUX_Sorvane_Extension_AudioUnit::outputBusses() {
    if (!outputBusArray_)
        outputBusArray_ = std::make_unique<plat::AUAudioUnitBusArray>(
            this, plat::AUAudioUnitBusType::output, std::vector{kernelAdapter_->outputBus()});
    debugprint("AUExtension::outputBusses: " + std::to_string(outputBusArray_->count()));
    return *outputBusArray_;
}

double YUX_Sorvane_Extension_AudioUnit::getSamplerate() {
    const auto bus = outputBusses()[0];
    return bus ? bus->format().sampleRate() : 0.0;
}

void YUX_Sorvane_Extension_AudioUnit::setSamplerate() {
    kernelAdapter_->setSamplerate(float(getSamplerate()));
}

plat::Result<void> YUX_Sorvane_Extension_AudioUnit::allocateRenderResources() {
    debugprint("AUExtension::allocateRenderResources()");
    // Before the base allocates, which makes the buffers of the buses that ask for them: a host
    // may then render with an output list that carries no buffers.
    auto& outputs = outputBusses();
    for (std::size_t i = 0; i < outputs.count(); ++i)
        if (const auto bus = outputs[i]) bus->setShouldAllocateBuffer(true);
    auto allocated = AUAudioUnit::allocateRenderResources();
    if (!allocated.ok()) {
        debugprint("AUExtension::ERROR: " + plat::shownMessage(allocated.error().description));
        return allocated;
    }
    setSamplerate();
    if (!kernelAdapter_->allocateRenderResources()) {
        AUAudioUnit::deallocateRenderResources();
        const std::string why = "The kernel could not allocate its buffers.";
        debugprint("AUExtension::ERROR: " + why);
        return plat::Error{plat::kOSStatusErrorDomain, plat::kAudioUnitErr_FailedInitialization, why};
    }

    auto report = [this](const char* property, bool present) {
        debugprint(present ? std::string("AUExtension: The property '") + property + "' is defined."
                           : std::string("AUExtension: WARNING: The property '") + property +
                                 "' is NOT defined.");
    };
    kernelAdapter_->setAUHostMusicalContextBlock(musicalContextBlock());
    report("musicalContextBlock", bool(musicalContextBlock()));
    kernelAdapter_->setAUHostTransportStateBlock(transportStateBlock());
    report("transportStateBlock", bool(transportStateBlock()));
    kernelAdapter_->setAUScheduleMIDIEventBlock(scheduleMIDIEventBlock());
    report("scheduleMIDIEventBlock", bool(scheduleMIDIEventBlock()));
    auto midiOut = MIDIOutputEventBlock();
    const bool midiOutPresent = bool(midiOut);
    kernelAdapter_->setAUMIDIOutputEventBlock(std::move(midiOut));
    report("midiOutputEventBlock", midiOutPresent);
    return {};
}

void YUX_Sorvane_Extension_AudioUnit::deallocateRenderResources() {
    debugprint("AUExtension::deallocateRenderResources()");
    // The render entry refuses new calls before the kernel lets its buffers go.
    AUAudioUnit::deallocateRenderResources();
    kernelAdapter_->deallocateRenderResources();
}

void YUX_Sorvane_Extension_AudioUnit::reset() {
    debugprint("AUExtension::reset()");
    kernelAdapter_->reset();
}

void YUX_Sorvane_Extension_AudioUnit::setMaximumFramesToRender(plat::AUAudioFrameCount frames) {
    AUAudioUnit::setMaximumFramesToRender(frames);
    debugprint("AUExtension::maximumFramesToRender (set): " + std::to_string(maximumFramesToRender()));
    kernelAdapter_->setMaximumFramesToRender(maximumFramesToRender());
}

void YUX_Sorvane_Extension_AudioUnit::setShouldBypassEffect(bool bypass) {
    AUAudioUnit::setShouldBypassEffect(bypass);
    debugprint("AUExtension::shouldBypassEffect (did set)");
    kernelAdapter_->setBypass(shouldBypassEffect());
}

plat::AUInternalRenderBlock YUX_Sorvane_Extension_AudioUnit::internalRenderBlock() {
    // The MIDI output block reaches the kernel when it is set or allocated, published atomically;
    // the render block only renders.
    return [adapter = kernelAdapter_](
               plat::AudioUnitRenderActionFlags* actionFlags, const plat::AudioTimeStamp* timestamp,
               plat::AUAudioFrameCount frameCount, plat::NSInteger outputBusNumber,
               plat::AudioBufferList* outputData, const plat::AURenderEvent* events,
               const plat::AURenderPullInputBlock* pullInputBlock) -> plat::AUAudioUnitStatus {
        // Lines raised here go through the console's ring, never a lock or an allocation.
        const plat::RealtimeScope realtime;
        char line[128];
        if (outputBusNumber != 0) {
            safeprint(formatLine(line, "AUExtension:: We have a got a bus number != 0 : ", outputBusNumber));
            return plat::noErr;
        }
        const auto status = adapter->render(actionFlags, timestamp, frameCount, outputBusNumber, outputData,
                                            events, pullInputBlock);
        if (status != plat::noErr)
            safeprint(formatLine(line, "AUExtension::ERROR: We have a problem with the kernel! ", status));
        return status;
    };
}

// ---- capabilities --------------------------------------------------------------------------

std::vector<std::size_t> YUX_Sorvane_Extension_AudioUnit::supportedViewConfigurations(
    const std::vector<plat::AUAudioUnitViewConfiguration>&) {
    debugprint("AUExtension::supportedViewConfigurations()");
    return {};
}

bool YUX_Sorvane_Extension_AudioUnit::isMusicDeviceOrEffect() const {
    debugprint("AUExtension::isMusicDeviceOrEffect: true");
    return true;
}

plat::NSInteger YUX_Sorvane_Extension_AudioUnit::virtualMIDICableCount() const {
    debugprint("AUExtension::virtualMIDICableCount: 1");
    return 1;
}

std::vector<std::string> YUX_Sorvane_Extension_AudioUnit::MIDIOutputNames() const {
    debugprint(std::string("AUExtension::midiOutputNames: [\"") + kMIDIOutputName + "\"]");
    return {kMIDIOutputName};
}

plat::AUMIDIOutputEventBlock YUX_Sorvane_Extension_AudioUnit::MIDIOutputEventBlock() const {
    debugprint("AUExtension::midiOutputEventBlock (get) ");
    return midiOutputEventBlock_;
}

void YUX_Sorvane_Extension_AudioUnit::setMIDIOutputEventBlock(plat::AUMIDIOutputEventBlock block) {
    debugprint("AUExtension::midiOutputEventBlock (set) ");
    midiOutputEventBlock_ = std::move(block);
    kernelAdapter_->setAUMIDIOutputEventBlock(midiOutputEventBlock_);
}

bool YUX_Sorvane_Extension_AudioUnit::canPerformInput() const {
    debugprint("AUExtension::canPerformInput: true");
    return true;
}

bool YUX_Sorvane_Extension_AudioUnit::canPerformOutput() const {
    debugprint("AUExtension::canPerformOutput: true");
    return true;
}

bool YUX_Sorvane_Extension_AudioUnit::canProcessInPlace() const {
    debugprint("AUExtension::canProcessInPlace() true");
    return true;
}

std::vector<plat::NSInteger> YUX_Sorvane_Extension_AudioUnit::channelCapabilities() const {
    debugprint("AUExtension::channelCapabilities() [2, 2]");
    return {2, 2};
}

// ---- full state and presets ----------------------------------------------------------------

std::optional<plat::plist::Dictionary> YUX_Sorvane_Extension_AudioUnit::fullState() {
    YUXPreset preset;
    preset.makeFrom(parameterTree().get());
    fullState_ = preset.getDictionary();
    return fullState_;
}

plat::Result<void>
YUX_Sorvane_Extension_AudioUnit::setFullState(std::optional<plat::plist::Dictionary> state) {
    if (state) {
        YUXPreset preset(this);
        auto applied = preset.makeFrom(state);
        if (!applied.ok()) {
            debugprint("AUExtension::ERROR: The state could not be restored: " +
                       plat::shownMessage(applied.error().description));
            return applied;
        }
    }
    fullState_ = std::move(state);
    return {};
}

bool YUX_Sorvane_Extension_AudioUnit::supportsUserPresets() const {
    // Presets are the factory folder's; the unit keeps none of its own.
    debugprint("AUExtension::supportsUserPresets: false");
    return false;
}

bool YUX_Sorvane_Extension_AudioUnit::isAcceptableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::vector<YUX_Sorvane_Extension_AudioUnit::ListedPreset>
YUX_Sorvane_Extension_AudioUnit::listFactoryPresets(bool logFailure) {
    std::vector<ListedPreset> listed;
    const auto resources = resourceDirectory();
    if (!resources) {
        if (logFailure) safeprint("Creating factory presets failed: The plug-in has no resource folder.");
        return listed;
    }
    const fs::path folder = *resources / kFactoryFolder;
    auto names = plat::FileManager::defaultManager().contentsOfDirectory(folder);
    if (!names.ok()) {
        if (logFailure)
            safeprint("Creating factory presets failed: " + plat::shownMessage(names.error().description));
        return listed;
    }
    for (const auto& entry : names.value()) {
        const fs::path file = folder / entry;
        if (lowercase(file.extension().string()) != ".plist" || !mayBePresetFile(file)) continue;
        const std::string name = file.stem().string();
        if (isAcceptableName(name)) listed.push_back({plat::AUAudioUnitPreset{0, name}, file});
    }
    // By preset name as a musician reads it, letter case aside ("Low" before "Low-End"); the byte
    // order of the name, then of the file name, settles ties.
    std::sort(listed.begin(), listed.end(), [](const ListedPreset& a, const ListedPreset& b) {
        const auto la = lowercase(a.preset.name), lb = lowercase(b.preset.name);
        if (la != lb) return la < lb;
        return a.preset.name != b.preset.name ? a.preset.name < b.preset.name : a.file < b.file;
    });
    for (std::size_t i = 0; i < listed.size(); ++i) listed[i].preset.number = plat::NSInteger(i);
    return listed;
}

std::vector<plat::AUAudioUnitPreset> YUX_Sorvane_Extension_AudioUnit::factoryPresets() {
    presets_.clear();
    for (const auto& listed : listFactoryPresets(true)) presets_.push_back(listed.preset);
    return presets_;
}

std::optional<fs::path> YUX_Sorvane_Extension_AudioUnit::factoryFile(const std::string& name) {
    // A fresh listing: the file is found by the preset's name alone, its number aside.
    const auto listing = listFactoryPresets(false);
    const auto found = std::find_if(listing.begin(), listing.end(),
                                    [&](const ListedPreset& listed) { return listed.preset.name == name; });
    if (found == listing.end() || !mayBePresetFile(found->file)) return std::nullopt;
    return found->file;
}

plat::Result<void>
YUX_Sorvane_Extension_AudioUnit::setCurrentPreset(std::optional<plat::AUAudioUnitPreset> preset) {
    if (!preset) {
        currentPreset_.reset();
        return {};
    }
    const std::string& name = preset->name;
    const std::string shown = plat::shownText(name); // a host's text
    if (!isAcceptableName(name))
        return missingPreset("AUExtension::ERROR: The preset name '", name, "' is not a valid file name.");

    if (preset->number < 0) {
        auto state = presetState(*preset);
        if (state.ok()) {
            auto applied = setFullState(std::move(state.value()));
            if (applied.ok()) {
                currentPreset_ = std::move(preset);
                return {};
            }
            debugprint("AUExtension::ERROR: Unable to restore set for preset " + shown);
            return applied;
        }
        debugprint("AUExtension::ERROR: Unable to restore set for preset " + shown);
        return state.error();
    }

    if (std::size_t(preset->number) >= presets_.size()) {
        const std::string line =
            "AUExtension::ERROR: The preset number " + std::to_string(preset->number) + " is invalid.";
        debugprint(line);
        return plat::Error{plat::kOSStatusErrorDomain, plat::kAudioUnitErr_InvalidPropertyValue, line};
    }
    const auto file = factoryFile(name);
    if (!file) return missingPreset("AUExtension::ERROR: The preset file '", name, ".plist' does not exist.");
    YUXPreset loader(this);
    auto loaded = loader.load(*file);
    if (!loaded.ok()) {
        debugprint("AUExtension::ERROR: The preset '" + shown +
                   "' could not be loaded: " + plat::shownMessage(loaded.error().description));
        return missingPreset(loaded.error().description);
    }
    currentPreset_ = std::move(preset);
    return {};
}

plat::Result<plat::plist::Dictionary>
YUX_Sorvane_Extension_AudioUnit::presetState(const plat::AUAudioUnitPreset& preset) {
    const std::string& name = preset.name;
    if (!isAcceptableName(name))
        return missingPreset("AUExtension::ERROR: The preset name '", name, "' is not a valid file name.");
    // A look-up changes nothing, not even the list of the last listing.
    const auto found = factoryFile(name);
    if (!found)
        return missingPreset("AUExtension::ERROR: The preset file '", name, ".plist' does not exist.");
    YUXPreset reader; // no delegate: reading back sets no parameter of any unit
    auto loaded = reader.load(*found);
    if (!loaded.ok()) {
        debugprint("AUExtension::ERROR: The preset file '" + plat::shownText(found->filename().string()) +
                   "' could not be read: " + plat::shownMessage(loaded.error().description));
        return missingPreset(loaded.error().description);
    }
    return reader.getDictionary();
}
