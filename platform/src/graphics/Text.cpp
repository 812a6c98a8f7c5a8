#include "plat/text.h"

#include "plat/console.h"

#include <cairo.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <cmath>
#include <filesystem>
#include <mutex>

namespace plat {
namespace {

constexpr const char* kConfigName = "plat-fonts.conf";
constexpr const char* kSystemFamily = "system-ui";

// Next to the library in the build tree; in a bundle, in its Resources folder.
std::string findConfigFile() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findConfigFile), &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    const std::filesystem::path lib = std::filesystem::canonical(info.dli_fname, ec);
    if (ec) return {};
    const std::filesystem::path dir = lib.parent_path();
    for (const auto& candidate :
         {dir / "fonts" / kConfigName, dir.parent_path() / "Resources" / "fonts" / kConfigName}) {
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
    }
    return {};
}

struct TextSystem {
    std::mutex lock;
    std::string configFile;
    PangoFontMap* fontMap = nullptr;
    PangoContext* context = nullptr;

    TextSystem() {
        configFile = findConfigFile();
        FcConfig* config = FcConfigCreate();
        // Our rules go first so they rename the family before the system's generic fallbacks run.
        if (!configFile.empty() &&
            !FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(configFile.c_str()), FcTrue)) {
            Console::shared().writeLine("plat::text: cannot read font configuration " +
                                        shownText(configFile));
            configFile.clear();
        }
        if (configFile.empty())
            Console::shared().writeLine(std::string("plat::text: font configuration ") + kConfigName +
                                        " not found, using system fonts");
        FcConfigParseAndLoad(config, nullptr, FcTrue);
        FcConfigBuildFonts(config);

        fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (fontMap == nullptr) fontMap = pango_cairo_font_map_new();
        if (PANGO_IS_FC_FONT_MAP(fontMap)) pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap), config);
        FcConfigDestroy(config);
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(fontMap), 72.0);
        context = pango_font_map_create_context(fontMap);

        // Unhinted, unrounded metrics: a text lays out the same at every scale.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, FALSE);
    }
};

TextSystem& textSystem() {
    static TextSystem* system = new TextSystem(); // lives for the process, as fontconfig's caches do
    return *system;
}

PangoFontDescription* describe(const UIFont& font) {
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, font.name().c_str());
    pango_font_description_set_absolute_size(d, font.pointSize() * PANGO_SCALE);
    return d;
}

bool usable(const UIFont& font) {
    return std::isfinite(font.pointSize()) && font.pointSize() > 0;
}

struct Layout {
    PangoLayout* layout;
    explicit Layout(PangoContext* ctx) : layout(pango_layout_new(ctx)) {}
    ~Layout() { g_object_unref(layout); }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;
};

void configure(PangoLayout* layout, std::string_view text, CGFloat width, const TextAttributes& a) {
    PangoFontDescription* d = describe(a.font);
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    if (std::isfinite(width) && width > 0) {
        pango_layout_set_width(layout, static_cast<int>(std::lround(width * PANGO_SCALE)));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    switch (a.alignment) {
    case NSTextAlignment::center:
        pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
        break;
    case NSTextAlignment::right:
        pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
        break;
    default:
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        break;
    }
    // pango takes only well-formed UTF-8 (and warns otherwise); malformed bytes show as replacement marks.
    if (g_utf8_validate_len(text.data(), text.size(), nullptr)) {
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    } else {
        gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
        pango_layout_set_text(layout, valid, -1);
        g_free(valid);
    }
}

} // namespace

UIFont UIFont::withName(std::string_view name, CGFloat size) {
    return UIFont(std::string(name), size);
}
UIFont UIFont::systemFont(CGFloat size) {
    return UIFont(kSystemFamily, size);
}

std::string UIFont::resolvedFaceName() const {
    TextSystem& ts = textSystem();
    std::lock_guard guard(ts.lock);
    PangoFontDescription* d = describe(UIFont(name_, usable(*this) ? size_ : 12));
    PangoFont* font = pango_font_map_load_font(ts.fontMap, ts.context, d);
    pango_font_description_free(d);
    if (font == nullptr) return {};
    PangoFontDescription* got = pango_font_describe(font);
    std::string result = pango_font_description_get_family(got) ? pango_font_description_get_family(got) : "";
    if (pango_font_description_get_weight(got) >= PANGO_WEIGHT_BOLD) result += " Bold";
    pango_font_description_free(got);
    g_object_unref(font);
    return result;
}

CGFloat textHeight(std::string_view text, CGFloat width, const TextAttributes& attributes) {
    if (!usable(attributes.font)) return 0;
    TextSystem& ts = textSystem();
    std::lock_guard guard(ts.lock);
    Layout l(ts.context);
    configure(l.layout, text, width, attributes);
    PangoRectangle logical;
    pango_layout_get_extents(l.layout, nullptr, &logical);
    return static_cast<CGFloat>(logical.height) / PANGO_SCALE;
}

void drawText(CGContext& ctx, std::string_view text, const CGRect& rect, const TextAttributes& attributes) {
    const UIColor& c = attributes.color;
    if (!ctx.isDrawing() || !usable(attributes.font) || text.empty()) return;
    if (!std::isfinite(rect.origin.x) || !std::isfinite(rect.origin.y) || !std::isfinite(c.red) ||
        !std::isfinite(c.green) || !std::isfinite(c.blue) || !std::isfinite(c.alpha))
        return;
    TextSystem& ts = textSystem();
    std::lock_guard guard(ts.lock);
    Layout l(ts.context);
    configure(l.layout, text, rect.standardized().size.width, attributes);
    cairo_t* cr = ctx.cairo();
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, rect.standardized().origin.x, rect.standardized().origin.y);
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
    pango_cairo_show_layout(cr, l.layout);
    cairo_restore(cr);
}

std::string fontConfigurationFile() {
    return textSystem().configFile;
}

} // namespace plat
