// Pictures are decoded when first drawn, not when a page is built: the pages not shown yet cost no decoding.
// Its own executable, so the process-wide picture cache starts empty and "not decoded yet" can be seen.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "CDevicePage.h"
#include "CImageEx.h"
#include "CORXUtilityDlg.h"
#include "PageLayout.h"

#include <QTabBar>

#include <memory>

namespace orx {
namespace {

// 9001 is a good 3 x 2 test picture, 9002 one with a broken body; this test alone uses them here.
TEST(LazyPicture, DecodesAtFirstUseWhatLoadWouldAndForgetsAReplacedRequest)
{
    CImageExResource lazy;
    lazy.loadWhenNeeded(9001, 1.0);
    EXPECT_FALSE(CImageExResource::isDecoded(9001, 1)) << "decoded before anything asked for it";
    ASSERT_NE(lazy.image(), nullptr);
    EXPECT_TRUE(CImageExResource::isDecoded(9001, 1));
    CImageExResource eager;
    ASSERT_TRUE(eager.load(9001, 1.0));
    EXPECT_EQ(*lazy.image(), *eager.image());
    EXPECT_EQ(lazy.scale(), eager.scale());

    CImageExResource broken;
    broken.loadWhenNeeded(9002, 1.0);
    EXPECT_TRUE(broken.isEmpty()) << "a picture that cannot be read leaves the holder empty, as load does";
    EXPECT_EQ(broken.image(), nullptr);

    // A request still pending when the holder is given something else must not come back at the first draw.
    CImageExResource replaced;
    replaced.loadWhenNeeded(9002, 1.0);
    ASSERT_TRUE(replaced.loadFromImage(QImage(5, 5, QImage::Format_ARGB32_Premultiplied)));
    ASSERT_NE(replaced.image(), nullptr);
    EXPECT_EQ(replaced.image()->size(), QSize(5, 5));
    replaced.loadWhenNeeded(9001, 1.0);
    replaced.release();
    EXPECT_EQ(replaced.image(), nullptr);
}

// Decoding ahead fills the same shared cache a holder reads: whoever asks while a pool thread decodes gets that
// one picture, and a picture that cannot be read is neither kept nor lost for a later try.
TEST(DecodeAhead, AHolderGetsThePictureDecodedAheadAndABrokenOneIsTriedAgain)
{
    CImageExResource::decodeAhead({9001, 9002}, 2);
    CImageExResource racing; // asks at once, while the pool may still be decoding
    racing.loadWhenNeeded(9001, 2.0);
    ASSERT_NE(racing.image(), nullptr);
    EXPECT_TRUE(CImageExResource::isDecoded(9001, 2));
    CImageExResource eager;
    ASSERT_TRUE(eager.load(9001, 1.0));
    EXPECT_EQ(racing.image()->size(), eager.image()->size()) << "no twin: the 1x picture stands in";
    EXPECT_EQ(racing.image()->convertToFormat(QImage::Format_ARGB32),
              eager.image()->convertToFormat(QImage::Format_ARGB32));

    EXPECT_FALSE(CImageExResource::isDecoded(9002, 2));
    CImageExResource broken;
    broken.loadWhenNeeded(9002, 2.0);
    EXPECT_TRUE(broken.isEmpty()) << "a failed decode ahead must leave the picture to be read again, and fail again";

    // Asked for again while already decoded: nothing is queued twice, the holder gets the shared picture.
    CImageExResource::decodeAhead({9001}, 2);
    CImageExResource again;
    ASSERT_TRUE(again.load(9001, 2.0));
    EXPECT_EQ(again.image()->constBits(), racing.image()->constBits()) << "decoded twice instead of shared";
}

class LazyPages : public test::AppFixture {
protected:
    void TearDown() override
    {
        dialog.reset();
        test::AppFixture::TearDown();
    }
    std::unique_ptr<CORXUtilityDlg> dialog;
};

TEST_F(LazyPages, AHiddenPageDecodesItsPictureOnlyWhenFirstShown)
{
    dialog = std::make_unique<CORXUtilityDlg>();
    dialog->show();
    int readAll = 0;
    CDevicePage* speaker = dialog->page(2);
    QObject::connect(speaker, &CDevicePage::deviceEventReceived, speaker,
                     [&readAll](int event, int) { readAll += event == kEventReadAll; });
    // Connected and read: the hidden page has had its device events.
    ASSERT_TRUE(processUntil([&] { return readAll > 0; }));
    dialog->grab();
    EXPECT_TRUE(CImageExResource::isDecoded(layout::kEffectPage, 1));
    EXPECT_FALSE(CImageExResource::isDecoded(layout::kSpeakerPage, 1)) << "the hidden speaker page was decoded";

    dialog->tabBar()->setCurrentIndex(2);
    QCoreApplication::processEvents();
    ASSERT_TRUE(speaker->isVisible());
    dialog->grab();
    EXPECT_TRUE(CImageExResource::isDecoded(layout::kSpeakerPage, 1));
}

} // namespace
} // namespace orx
