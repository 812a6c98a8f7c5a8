#include "FileHelpers.h"
#include "LocalHttpServer.h"
#include "TestSupport.h"

#include "plat/image.h"

#include <filesystem>
#include <fstream>

namespace {

std::vector<std::uint8_t> pngBytes(int width, int height) {
    const auto path =
        std::filesystem::temp_directory_path() / ("web-image-" + std::to_string(::getpid()) + ".png");
    plat::ImageSurface surface(width, height);
    surface.fill(plat::UIColor(1, 0, 0, 1));
    EXPECT_TRUE(surface.writePNG(path.string()));
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    return bytes;
}

class WebImage : public ::testing::Test {
protected:
    void SetUp() override {
        plat::RunLoop::main().drain();
        server.route("/image.png", {200, "image/png", pngBytes(3, 2), {}});
        server.route("/missing.png", {404, "text/html", {'<', 'p', '>'}, {}});
        server.route("/text.png", {200, "text/plain", {'h', 'e', 'l', 'l', 'o'}, {}});
    }
    // Serves the main queue until `line` has been written `times` times.
    bool logged(const std::string& line, std::size_t times = 1) {
        return plat::RunLoop::main().runUntil([&] { return out.count(line) >= times; },
                                              std::chrono::seconds(10));
    }

    // Serves the main queue until the view shows an image.
    bool imageArrives() {
        return plat::RunLoop::main().runUntil([&] { return view->image() != nullptr; },
                                              std::chrono::seconds(10));
    }

    LocalHttpServer server;
    std::shared_ptr<plat::UIImageView> view = std::make_shared<plat::UIImageView>();
    ConsoleCapture out;
};

} // namespace

TEST_F(WebImage, LoadFromSetsTheImageFromA200Answer) {
    loadFrom(view, server.url("/image.png"));
    EXPECT_EQ(view->image(), nullptr); // nothing happens inline
    ASSERT_TRUE(imageArrives());
    EXPECT_EQ(view->image()->width(), 3);
    EXPECT_EQ(view->image()->height(), 2);
}

TEST_F(WebImage, LoadFromKeepsTheMainThreadServing) {
    std::atomic<bool> mainServed{false};
    server.route("/slow.png", {200, "image/png", pngBytes(4, 4), [&] { return mainServed.load(); }});
    loadFrom(view, server.url("/slow.png"));
    plat::MainQueue::async([&] { mainServed = true; });
    ASSERT_TRUE(imageArrives());
    EXPECT_FALSE(server.lastHoldTimedOut());
}

TEST_F(WebImage, FailedOrNonImageAnswersKeepTheCurrentImage) {
    loadFrom(view, server.url("/image.png"));
    ASSERT_TRUE(imageArrives());
    const auto image = view->image();

    loadFrom(view, server.url("/missing.png"));
    loadFrom(view, server.url("/text.png"));
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not encode image data.\n"));
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not assign image.\n"));
    EXPECT_EQ(view->image(), image);
}

TEST_F(WebImage, LoadFromRefusesAnInvalidAddressAndSurvivesAnUnreachableOne) {
    loadFrom(view, "http://exa mple.org/image.png");
    plat::RunLoop::main().drain();
    EXPECT_EQ(
        out.count("UIImageView::loadFrom() : Could not encode url string : http://exa mple.org/image.png\n"),
        1u);

    loadFrom(view, "http://127.0.0.1:1/image.png"); // nothing listens on port 1
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not encode image data.\n"));
    EXPECT_EQ(view->image(), nullptr);
}

TEST_F(WebImage, LoadFromForAViewThatIsGoneAssignsNothing) {
    std::weak_ptr<plat::UIImageView> watch = view;
    loadFrom(view, server.url("/image.png"));
    view.reset();
    EXPECT_TRUE(watch.expired()); // the transfer does not hold the view
    EXPECT_TRUE(logged("UIImageView::loadFrom() : Could not assign image.\n"));
}

TEST_F(WebImage, GetImageFromURLStringSetsImagesAndKeepsThemOn404AndNonImages) {
    getImageFromURLString(view, server.url("/image.png"));
    ASSERT_TRUE(imageArrives());
    const auto image = view->image();
    getImageFromURLString(view, server.url("/missing.png"));
    getImageFromURLString(view, server.url("/text.png"));
    ASSERT_TRUE(logged("Fetched image successfully\n", 2)); // the first answer and the text one
    // The 404 answer writes nothing: give it time to arrive.
    plat::RunLoop::main().runUntil([&] { return server.requestsServed() >= 3; }, std::chrono::seconds(10));
    plat::RunLoop::main().runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(view->image(), image);
    EXPECT_EQ(out.count("Fetched image successfully\n"), 2u);
}

TEST_F(WebImage, GetImageFromURLStringPrintsTransportErrors) {
    getImageFromURLString(view, "http://127.0.0.1:1/image.png"); // nothing listens on port 1
    ASSERT_TRUE(logged("Error Domain=NSURLErrorDomain"));
    EXPECT_EQ(view->image(), nullptr);
    getImageFromURLString(view, "not a url");
    plat::RunLoop::main().runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(out.count("Error Domain"), 1u);
}
