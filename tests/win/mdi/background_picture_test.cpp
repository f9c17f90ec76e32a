#include "mdi/background_picture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <wrl/client.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tests/win/http_test_server.h"
#include "tests/win/mdi/bitmap_file.h"
#include "tests/win/pump_until.h"
#include "tools/control_host/bind_host.h"

namespace {

using Microsoft::WRL::ComPtr;

// A 16 x 16 icon file of one 32-bit image with an empty mask.
std::string IconFile() {
  std::string s;
  Put16(s, 0);
  Put16(s, 1);  // icon
  Put16(s, 1);
  const uint32_t image = 40 + 16 * 16 * 4 + 16 * 4;
  s.append({16, 16, 0, 0});
  Put16(s, 1);
  Put16(s, 32);
  Put32(s, image);
  Put32(s, 22);
  Put32(s, 40);
  Put32(s, 16);
  Put32(s, 32);  // colour and mask rows
  Put16(s, 1);
  Put16(s, 32);
  for (int i = 0; i < 6; ++i) Put32(s, 0);
  s.append(image - 40, '\x40');
  return s;
}

const std::string kGif1x1(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
    ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    35);

class BackgroundPictureTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Listening()); }

  // Loads url and waits for the end; the picture's size, or nothing.
  std::optional<SIZE> Fetch(const std::wstring& url, IBindHost* host = nullptr) {
    EXPECT_EQ(S_OK, picture_->Load(url, host));
    EXPECT_TRUE(PumpUntil([&] { return !picture_->Downloading(); }));
    if (!picture_->Bitmap()) return std::nullopt;
    return picture_->Size();
  }

  HttpTestServer server_;
  int changes_ = 0;
  std::optional<CBackgroundPicture> picture_{std::in_place, [this] { ++changes_; }};
};

TEST_F(BackgroundPictureTest, DecodesBitmapsOnceAtTheEndAndKeepsNothingElse) {
  const struct {
    const char* path;
    HttpTestServer::Response response;
    std::optional<SIZE> size;
  } cases[] = {
      // Three pieces far enough apart to come as several blocks.
      {"/slow.bmp", {200, "image/bmp", BitmapHeaders(64, 64), 64 * 64 * 3, 30}, SIZE{64, 64}},
      {"/one.gif", {200, "image/gif", kGif1x1}, SIZE{1, 1}},
      {"/icon.ico", {200, "image/x-icon", IconFile()}, std::nullopt},  // not a bitmap
      {"/noise.bmp", {200, "image/bmp", "BM not a picture at all"}, std::nullopt},
      {"/empty.bmp", {200, "image/bmp", ""}, std::nullopt},
      {"/missing.bmp", {404, "text/html", "<html>Not found</html>"}, std::nullopt},
  };
  for (const auto& c : cases) server_.Script(c.path, c.response);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    changes_ = 0;
    const std::optional<SIZE> size = Fetch(server_.Url(c.path));
    ASSERT_EQ(c.size.has_value(), size.has_value());
    if (size) {
      EXPECT_EQ(c.size->cx, size->cx);
      EXPECT_EQ(c.size->cy, size->cy);
      DIBSECTION dib{};
      EXPECT_EQ(int{sizeof(dib)}, ::GetObjectW(picture_->Bitmap(), sizeof(dib), &dib))
          << "a DIB section of our own";
    }
    EXPECT_EQ(1, changes_);
  }
}

TEST_F(BackgroundPictureTest, RelativeNameIsFetchedBesideThePage) {
  server_.Script("/pages/sub/back.gif", {200, "image/gif", kGif1x1});
  ComPtr<CBindHost> host;
  ASSERT_EQ(S_OK, CBindHost::Create(server_.Url("/pages/sub/page.html"), host));
  EXPECT_TRUE(Fetch(L"back.gif", host.Get()).has_value());
  ASSERT_EQ(1u, server_.Exchanges().size());
  EXPECT_EQ("/pages/sub/back.gif", server_.Exchanges()[0].path);
}

TEST_F(BackgroundPictureTest, PictureOverTheLimitIsAbortedAndShowsNothing) {
  picture_.emplace([this] { ++changes_; }, 4096);
  server_.Script("/one.gif", {200, "image/gif", kGif1x1});
  ASSERT_TRUE(Fetch(server_.Url("/one.gif")).has_value());
  server_.Script("/big.bmp", {200, "image/bmp", BitmapHeaders(64, 64), 64 * 64 * 3});
  EXPECT_FALSE(Fetch(server_.Url("/big.bmp")).has_value());
  EXPECT_EQ(2, changes_);
}

// A new picture, Stop, Clear and the end of the owner each stop the download running; nothing of it
// reaches the picture afterwards.
TEST_F(BackgroundPictureTest, RunningDownloadEndsWithoutTouchingThePicture) {
  server_.Script("/endless.bmp",
                 {200, "image/bmp", BitmapHeaders(64, 64), HttpTestServer::kEndless, 20});
  server_.Script("/one.gif", {200, "image/gif", kGif1x1});

  ASSERT_EQ(S_OK, picture_->Load(server_.Url("/endless.bmp"), nullptr));
  ASSERT_TRUE(PumpUntil([&] { return server_.Requests() == 1; }));
  EXPECT_TRUE(Fetch(server_.Url("/one.gif")).has_value());
  EXPECT_EQ(1, changes_);

  ASSERT_EQ(S_OK, picture_->Load(server_.Url("/endless.bmp"), nullptr));
  ASSERT_TRUE(PumpUntil([&] { return server_.Requests() == 3; }));
  picture_->Stop();  // the picture stays
  EXPECT_FALSE(picture_->Downloading());
  EXPECT_NE(nullptr, picture_->Bitmap());
  EXPECT_EQ(1, changes_);

  ASSERT_EQ(S_OK, picture_->Load(server_.Url("/endless.bmp"), nullptr));
  ASSERT_TRUE(PumpUntil([&] { return server_.Requests() == 4; }));
  picture_->Clear();  // the picture goes at once
  EXPECT_FALSE(picture_->Downloading());
  EXPECT_EQ(nullptr, picture_->Bitmap());
  EXPECT_EQ(2, changes_);

  ASSERT_EQ(S_OK, picture_->Load(server_.Url("/endless.bmp"), nullptr));
  ASSERT_TRUE(PumpUntil([&] { return server_.Requests() == 5; }));
  picture_.reset();
  EXPECT_TRUE(server_.WaitForExchanges(5, 10000)) << "every endless answer was cut off";
  PumpUntil([] { return false; }, 200);  // whatever the service still sends goes nowhere
  EXPECT_EQ(2, changes_);
}

}  // namespace
