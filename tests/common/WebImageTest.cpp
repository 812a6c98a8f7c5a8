// Images fetched in the background into an image view, from a local server.
#include "ConsoleCapture.h"
#include "FileHelpers.h"
#include "LocalHttpServer.h"
#include "ScratchFolder.h"

#include "plat/image.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string pngBytes(int width, int height) {
    ScratchFolder scratch;
    const auto path = scratch.path() / "image.png";
    plat::ImageSurface surface(width, height);
    surface.fill(plat::UIColor(1, 0, 0, 1));
    EXPECT_TRUE(surface.writePNG(path.string()));
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WebImage : public ::testing::Test {
protected:
    void SetUp() override { plat::RunLoop::main().drain(); }
    // Serves the main queue until `done` holds (at most 10 s).
    bool until(const std::function<bool()>& done) {
        return plat::RunLoop::main().runUntil(done, std::chrono::seconds(10));
    }
    bool logged(const std::string& line, std::size_t times = 1) {
        return until([&] { return out.count(line) >= times; });
    }

    LocalHttpServer server{{{"/image.png", {200, pngBytes(3, 2)}},
                            {"/missing.png", {404, "<p>"}},
                            {"/text.png", {200, "hello"}}}};
    std::shared_ptr<plat::UIImageView> view = std::make_shared<plat::UIImageView>();
    ConsoleCapture out;
};

} // namespace

TEST_F(WebImage, LoadFromSetsTheImageInTheBackgroundKeepsItOnFailedOrNonImageAnswersAndHoldsNoView) {
    loadFrom(view, server.url("/image.png"));
    EXPECT_EQ(view->image(), nullptr); // nothing happens inline
    ASSERT_TRUE(until([&] { return view->image() != nullptr; }));
    EXPECT_EQ(std::tuple(view->image()->width(), view->image()->height()), std::tuple(3, 2));
    const auto image = view->image();
    loadFrom(view, server.url("/missing.png"));
    loadFrom(view, server.url("/text.png"));
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not encode image data.\n"));
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not assign image.\n"));
    EXPECT_EQ(view->image(), image);

    std::weak_ptr<plat::UIImageView> watch = view;
    loadFrom(view, server.url("/image.png"));
    view.reset();
    EXPECT_TRUE(watch.expired()); // the transfer does not hold the view
    EXPECT_TRUE(logged("UIImageView::loadFrom() : Could not assign image.\n", 2));
}

TEST_F(WebImage, GetImageFromURLStringSetsImagesAndKeepsThemOn404AndNonImages) {
    getImageFromURLString(view, server.url("/image.png"));
    ASSERT_TRUE(until([&] { return view->image() != nullptr; }));
    const auto image = view->image();
    getImageFromURLString(view, server.url("/missing.png"));
    getImageFromURLString(view, server.url("/text.png"));
    ASSERT_TRUE(logged("Fetched image successfully\n", 2)); // the first answer and the text one
    // The 404 answer writes nothing: give it time to arrive.
    until([&] { return server.requestsServed() >= 3; });
    plat::RunLoop::main().runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(view->image(), image);
    EXPECT_EQ(out.count("Fetched image successfully\n"), 2u);
}

TEST_F(WebImage, InvalidAndUnreachableAddressesAreReportedAndSetNothing) {
    loadFrom(view, "http://exa mple.org/image.png");
    plat::RunLoop::main().drain();
    EXPECT_EQ(
        out.count("UIImageView::loadFrom() : Could not encode url string : http://exa mple.org/image.png\n"),
        1u);
    loadFrom(view, "http://127.0.0.1:1/image.png"); // nothing listens on port 1
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not encode image data.\n"));
    getImageFromURLString(view, "http://127.0.0.1:1/image.png");
    ASSERT_TRUE(logged("Error Domain=NSURLErrorDomain"));
    getImageFromURLString(view, "not a url");
    plat::RunLoop::main().runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(out.count("Error Domain"), 1u);
    EXPECT_EQ(view->image(), nullptr);
}
