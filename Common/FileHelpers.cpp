#include "FileHelpers.h"

#include "Helpers.h"
#include "plat/console.h"
#include "plat/files.h"
#include "plat/net.h"

std::optional<plat::URL> documentsURL;
std::optional<plat::URL> resourcesURL;
std::optional<plat::URL> sharedURLAudio;
std::optional<plat::URL> sharedURLMIDI;

bool ensureDirectoryExists(const plat::URL& url) {
    const auto path = url.filePath();
    auto& fm = plat::FileManager::defaultManager();
    bool isDirectory = false;
    if (fm.fileExists(path, isDirectory)) {
        if (isDirectory) return true;
        debugprint("ensureDirectoryExists() : ERROR: Creating required directory '" +
                   plat::shownText(path.string()) + "' failed: a file that is not a folder is in the way.");
        return false;
    }
    const auto created = fm.createDirectory(path, true);
    if (created.ok()) return true;
    debugprint("ensureDirectoryExists() : ERROR: Creating required directory '" +
               plat::shownText(path.string()) +
               "' failed: " + plat::shownMessage(created.error().description));
    return false;
}

void getPaths() {
    const auto documents =
        plat::FileManager::defaultManager().urls(plat::FileManager::SearchPathDirectory::documents);
    documentsURL = documents.empty() ? std::nullopt : std::optional<plat::URL>(documents.front());
    if (documentsURL)
        safeprint("AudioUnitViewController::getPaths() : Audio Unit's documents path is: " +
                  plat::shownText(documentsURL->path()));
    else
        safeprint("AudioUnitViewController::getPaths() : ERROR: Audio Unit's documents path is nil.");

    resourcesURL = plat::Bundle::main().resourceURL();
    if (resourcesURL)
        safeprint("AudioUnitViewController::getPaths() : Audio Unit's resources path is: " +
                  plat::shownText(resourcesURL->path()));
    else
        safeprint("AudioUnitViewController::getPaths() : ERROR: Audio Unit's resources path is nil.");
}

namespace {
std::string describe(const plat::Error& e) {
    return "Error Domain=" + e.domain + " Code=" + std::to_string(e.code) + " \"" +
           plat::shownMessage(e.description) + "\"";
}
} // namespace

void loadFrom(const std::shared_ptr<plat::UIImageView>& view, std::string_view URLAddress) {
    const auto url = plat::URL::string(URLAddress);
    if (!url) {
        debugprint("UIImageView::loadFrom() : Could not encode url string : " + plat::shownText(URLAddress));
        return;
    }
    // The transfer runs in the background; only the hand-over of the image uses the main thread.
    plat::loadData(
        plat::URLRequest{*url}, [weakView = std::weak_ptr(view)](plat::Result<plat::URLResponse> result) {
            const bool received = result.ok() && (result->statusCode == 0 ||
                                                  (result->statusCode >= 200 && result->statusCode < 300));
            if (!received) {
                debugprint("UIImageView::loadFrom() : Could not encode image data.");
                return;
            }
            auto image = plat::UIImage::fromData(result->data);
            auto target = weakView.lock();
            if (image && target) {
                target->setImage(std::move(image));
                return;
            }
            debugprint("UIImageView::loadFrom() : Could not assign image.");
        });
}

void getImageFromURLString(const std::shared_ptr<plat::UIImageView>& view, std::string_view imageURLString) {
    const auto url = plat::URL::string(imageURLString);
    if (!url || !view) return;
    plat::loadData(plat::URLRequest{*url, 60.0}, [view](plat::Result<plat::URLResponse> result) {
        auto& console = plat::Console::shared();
        if (!result.ok()) {
            console.writeLine(describe(result.error()));
            return;
        }
        if (result->statusCode == 200) console.writeLine("Fetched image successfully");
        // Whatever the status: an answer that is no image clears the view.
        view->setImage(plat::UIImage::fromData(result->data));
    });
}

const std::array<std::string_view, 197> capitals = {
    "Kabul",
    "Tirana",
    "Algiers",
    "Andorra la Vella",
    "Luanda",
    "St. John's",
    "Buenos Aires",
    "Yerevan",
    "Canberra",
    "Vienna",
    "Baku",
    "Nassau",
    "Manama",
    "Dhaka",
    "Bridgetown",
    "Minsk",
    "Brussels",
    "Belmopan",
    "Porto Novo",
    "Thimphu",
    "Sucre",
    "Sarajevo",
    "Gaborone",
    "Brasilia",
    "Bandar Seri Begawan",
    "Sofia",
    "Ouagadougou",
    "Bujumbura",
    "Phnom Penh",
    "Yaoundé",
    "Ottawa",
    "Praia",
    "Bangui",
    "N'Djamena",
    "Santiago",
    "Beijing",
    "Bogota",
    "Moroni",
    "San José",
    "Zagreb",
    "Havana",
    "Nicosia",
    "Prague",
    "Kinshasa",
    "Copenagen",
    "Djibouti",
    "Roseau",
    "Santo Domingo",
    "Dili",
    "Quito",
    "Cairo",
    "San Salvador",
    "Malabo",
    "Asmara",
    "Tallinn",
    "Mbabane",
    "Addis Ababa",
    "Suva",
    "Helsinki",
    "Paris",
    "Libreville",
    "Banjul",
    "Tbilisi",
    "Berlin",
    "Accra",
    "Athens",
    "St. George's",
    "Guatemala City",
    "Conakry",
    "Bissau",
    "Georgetown",
    "Port-au-Prince",
    "Tegucigalpa",
    "Budapest",
    "Reykjavík",
    "New Delhi",
    "Jakarta",
    "Tehran",
    "Baghdad",
    "Dublin",
    "Jerusalem",
    "Rome",
    "Yamoussoukro",
    "Kingston",
    "Tokyo",
    "Amman",
    "Astana",
    "Nairobi",
    "Tarawa",
    "Pyongyang",
    "Seoul",
    "Pristina",
    "Kuwait City",
    "Bishkek",
    "Vientiane",
    "Riga",
    "Beirut",
    "Maseru",
    "Monrovia",
    "Tripoli",
    "Vaduz",
    "Vilnius",
    "Luxembourg",
    "Antananarivo",
    "Lilongwe",
    "Kuala Lumpur",
    "Malé",
    "Bamako",
    "Valletta",
    "Majuro",
    "Nouakchott",
    "Port Louis",
    "Mexico City",
    "Palikir",
    "Chisinau",
    "Monaco",
    "Ulaanbaatar",
    "Podgorica",
    "Rabat",
    "Maputo",
    "Naypyidaw",
    "Windhoek",
    "Yaren",
    "Kathmandu",
    "Amsterdam",
    "Wellington",
    "Managua",
    "Niamey",
    "Abuja",
    "Skopje",
    "Oslo",
    "Muscat",
    "Islamabad",
    "Melekeok",
    "East Jerusalem",
    "Panama City",
    "Port Moresby",
    "Asunción",
    "Lima",
    "Manila",
    "Warsaw",
    "Lisbon",
    "Doha",
    "Brazzaville",
    "Bucharest",
    "Moscow",
    "Kigali",
    "Basseterre",
    "Castries",
    "Kingstown",
    "Apia",
    "San Marino",
    "São Tomé",
    "Riyadh",
    "Dakar",
    "Belgrade",
    "Victoria",
    "Freetown",
    "Singapore",
    "Bratislava",
    "Ljubljana",
    "Honiara",
    "Mogadishu",
    "Pretoria",
    "Juba",
    "Madrid",
    "Sri Jayawardenapura Kotte",
    "Khartoum",
    "Paramaribo",
    "Stockholm",
    "Bern",
    "Damascus",
    "Taipei",
    "Dushanbe",
    "Dodoma",
    "Bangkok",
    "Lomé",
    "Nukualofa",
    "Port of Spain",
    "Tunis",
    "Ankara",
    "Ashgabat",
    "Funafuti",
    "Kampala",
    "Kiev",
    "Abu Dhabi",
    "London",
    "Washington D.C.",
    "Montevideo",
    "Tashkent",
    "Port Vila",
    "Vatican City",
    "Caracas",
    "Hanoi",
    "Sana'a",
    "Lusaka",
    "Harare",
};
