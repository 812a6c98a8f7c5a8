// Images fetched in the background into an image view, from files and from an address nothing answers.
#include "ConsoleCapture.h"
#include "FileHelpers.h"
#include "FixedAnswer.h"
#include "ScratchFolder.h"

#include "plat/image.h"
#include "plat/uiimage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

class WebImage : public ::testing::Test {
protected:
    void SetUp() override {
        plat::RunLoop::main().drain();
        plat::ImageSurface surface(3, 2);
        surface.fill(plat::UIColor(1, 0, 0, 1));
        ASSERT_TRUE(surface.writePNG((folder.path() / "image.png").string()));
        std::ofstream(folder.path() / "text.png") << "hello";
    }
    std::string bytesOf(const char* name) const {
        std::ifstream in(folder.path() / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string url(const char* name) const {
        return plat::URL::fileURL(folder.path() / name).absoluteString();
    }
    // Serves the main queue until `done` holds (at most 30 s).
    bool until(const std::function<bool()>& done) {
        return plat::RunLoop::main().runUntil(done, std::chrono::seconds(30));
    }
    bool logged(const std::string& line, std::size_t times = 1) {
        return until([&] { return out.count(line) >= times; });
    }

    ScratchFolder folder;
    std::shared_ptr<plat::UIImageView> view = std::make_shared<plat::UIImageView>();
    ConsoleCapture out;
};

} // namespace

TEST_F(WebImage, LoadFromSetsTheImageInTheBackgroundKeepsItOnFailedOrNonImageAnswersAndHoldsNoView) {
    loadFrom(view, url("image.png"));
    EXPECT_EQ(view->image(), nullptr); // nothing happens inline
    ASSERT_TRUE(until([&] { return view->image() != nullptr; }));
    EXPECT_EQ(std::tuple(view->image()->width(), view->image()->height()), std::tuple(3, 2));
    const auto image = view->image();
    loadFrom(view, url("missing.png"));
    loadFrom(view, url("text.png"));
    loadFrom(view, "http://exa mple.org/image.png");
    loadFrom(view, "http://x y/\x1b[2J\nFORGED"); // the caller's text reaches the console escaped
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not encode image data.\n"));
    ASSERT_TRUE(logged("UIImageView::loadFrom() : Could not assign image.\n"));
    EXPECT_EQ(
        out.count("UIImageView::loadFrom() : Could not encode url string : http://exa mple.org/image.png\n"),
        1u);
    EXPECT_EQ(out.count("Could not encode url string : http://x y/\\x1b[2J\\x0aFORGED\n"), 1u);
    EXPECT_EQ(view->image(), image);

    std::weak_ptr<plat::UIImageView> watch = view;
    loadFrom(view, url("image.png"));
    view.reset();
    EXPECT_TRUE(watch.expired()); // the transfer does not hold the view
    EXPECT_TRUE(logged("UIImageView::loadFrom() : Could not assign image.\n", 2));
}

TEST_F(WebImage, GetImageFromURLStringSetsWhatEveryAnswerHoldsClearingTheViewForNoImageButKeepsItOnFailures) {
    getImageFromURLString(view, url("image.png"));
    ASSERT_TRUE(until([&] { return view->image() != nullptr; }));
    getImageFromURLString(view, url("text.png"));
    EXPECT_TRUE(until([&] { return view->image() == nullptr; }))
        << "an answer that is no image kept the old one";
    getImageFromURLString(view, url("image.png"));
    ASSERT_TRUE(until([&] { return view->image() != nullptr; }));
    const auto image = view->image();
    getImageFromURLString(view, "not a url");
    getImageFromURLString(view, "http://127.0.0.1:1/image.png"); // nothing listens on port 1
    ASSERT_TRUE(logged("Error Domain=NSURLErrorDomain"));
    plat::RunLoop::main().runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(out.count("Error Domain"), 1u);
    EXPECT_EQ(view->image(), image);
}

TEST_F(WebImage, AnHTTPAnswerOfAnyStatusSetsItsImageAndOnlyA200IsReported) {
    const std::string png = bytesOf("image.png");
    view->setImage(plat::UIImage::fromData(std::vector<std::uint8_t>(png.begin(), png.end())));
    ASSERT_NE(view->image(), nullptr);
    {
        FixedAnswer notFound("404 Not Found", "<html>no such image</html>");
        getImageFromURLString(view, notFound.url());
        EXPECT_TRUE(until([&] { return view->image() == nullptr; }))
            << "a 404 that is no image kept the old one";
    }
    {
        FixedAnswer found("200 OK", png);
        getImageFromURLString(view, found.url());
        ASSERT_TRUE(until([&] { return view->image() != nullptr; }));
        EXPECT_EQ(view->image()->width(), 3);
    }
    EXPECT_EQ(out.count("Fetched image successfully\n"), 1u);
    EXPECT_EQ(out.count("Error Domain"), 0u);
}
