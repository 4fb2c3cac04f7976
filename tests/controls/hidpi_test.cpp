// The pages on a screen of device pixel ratio 2: the pictures come from their @2x twins, every control cuts its
// frame from them in device pixels, and the pointer lands where things are drawn. The executable scales its whole
// screen by 2 itself (its own main below), so it needs no display setting from outside.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "CCustomButton.h"
#include "CDTADial.h"
#include "CEffcetSettingsTab.h"
#include "CImageEx.h"
#include "CORXUtilityDlg.h"
#include "CSpeakerSimulationTab.h"
#include "PageLayout.h"

#include <QTabBar>
#include <QTest>

#include <memory>
#include <ostream>
#include <string>

namespace orx {
namespace {

QImage resourcePicture(int id, const char* suffix)
{
    return QImage(QStringLiteral(":/images/%1%2.png").arg(id).arg(QLatin1String(suffix)))
        .convertToFormat(QImage::Format_ARGB32);
}

// Pixels only: the device pixel ratio a grab carries is not part of what the screen shows.
QImage plain(QImage image)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1.0);
    return image;
}

std::string firstDifference(const QImage& got, const QImage& want)
{
    if (got.size() != want.size())
        return "size differs";
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != want.pixel(x, y))
                return "first difference at device pixel " + std::to_string(x) + "," + std::to_string(y);
    return "equal";
}

TEST(HiDpiPictures, TheHolderPicksThePictureForTheRatio)
{
    struct Case {
        const char* what;
        int id;
        qreal ratio;
        QSize size;
        qreal scale;
    } const cases[] = {
        {"1x screen", layout::kEffectPage, 1.0, {960, 640}, 1.0},
        {"fractional scaling below 1.5 keeps 1x", layout::kEffectPage, 1.25, {960, 640}, 1.0},
        {"from 1.5 up the twin is taken", layout::kEffectPage, 1.5, {1920, 1280}, 2.0},
        {"2x screen", layout::kFxLoop.id, 2.0, {446, 852}, 2.0},
        // 9001 is a test picture without a twin.
        {"a missing twin leaves the 1x picture", 9001, 2.0, {3, 2}, 1.0},
    };
    for (const Case& c : cases) {
        CImageExResource holder;
        ASSERT_TRUE(holder.load(c.id, c.ratio)) << c.what;
        EXPECT_EQ(holder.image()->size(), c.size) << c.what;
        EXPECT_EQ(holder.scale(), c.scale) << c.what;
    }
    CImageExResource broken;
    EXPECT_FALSE(broken.load(9002, 2.0)) << "a broken picture with no twin still fails";
    EXPECT_TRUE(broken.isEmpty());

    // Without a ratio the holder follows the screens, which this executable scales by 2.
    CImageExResource page;
    ASSERT_TRUE(page.load(layout::kSpeakerPage));
    EXPECT_EQ(page.scale(), 2.0);
}

class HiDpiPage : public test::AppFixture {
protected:
    void SetUp() override
    {
        test::AppFixture::SetUp();
        // Looks whose frames sit further down their strips than the first, where a source rectangle left in
        // logical pixels would cut the wrong part.
        amp->setEffectByte(2, 1); // channel I: FX loop parallel
        amp->setEffectByte(4, 2); // channel I: noise gate 2
        dialog = std::make_unique<CORXUtilityDlg>();
        dialog->show();
        auto* last = dialog->page(3);
        QObject::connect(last, &CDevicePage::deviceEventReceived, last, [this](int event, int) {
            readAll += event == kEventReadAll;
        });
        ASSERT_TRUE(processUntil([this] { return readAll > 0; }));
    }
    void TearDown() override
    {
        dialog.reset();
        test::AppFixture::TearDown();
    }
    CDevicePage* showPage(int index)
    {
        dialog->tabBar()->setCurrentIndex(index);
        QCoreApplication::processEvents();
        return dialog->page(index);
    }

    std::unique_ptr<CORXUtilityDlg> dialog;
    int readAll = 0;
};

// A piece of a page as the screen shows it, and where in which picture the same logical pixels are.
struct Piece {
    std::string what;
    int page;
    int picture;
    QRect onPage;
    QPoint inPicture;
};

std::ostream& operator<<(std::ostream& os, const Piece& p)
{
    return os << p.what;
}

QPoint faceOf(const CCustomButton* b)
{
    return b->faceOffset(b->toggleState() == 1 ? CCustomButton::NormalOn : CCustomButton::NormalOff);
}

TEST_F(HiDpiPage, EveryPieceShowsTheDevicePixelsOfItsTwin)
{
    auto* effect = static_cast<CEffcetSettingsTab*>(dialog->page(0));
    auto* speaker = static_cast<CSpeakerSimulationTab*>(dialog->page(2));
    const CCustomButton* fxLoop = effect->button(CEffcetSettingsTab::kFXLoop);
    const CCustomButton* bypass =
        speaker->findChild<CCustomButton*>(QString::number(CSpeakerSimulationTab::kBypass));
    ASSERT_NE(bypass, nullptr);
    const CDTADial* gate = effect->noiseGateDial();
    const CDTADial* gain = speaker->gainDial();
    const Piece pieces[] = {
        {"effect page badge", 0, layout::kEffectPage, {380, 8, 200, 50}, {380, 8}},
        {"FX loop switch", 0, layout::kFxLoop.id, fxLoop->geometry(), faceOf(fxLoop)},
        {"noise gate dial", 0, layout::kNoiseGate.id, gate->placement(), {0, gate->frameSourceTop()}},
        {"speaker page badge", 2, layout::kSpeakerPage, {380, 48, 200, 64}, {380, 48}},
        {"bypass switch", 2, layout::kBypass.id, bypass->geometry(), faceOf(bypass)},
        {"gain dial", 2, layout::kGainDial.id, gain->placement(), {0, gain->frameSourceTop()}},
    };
    for (const Piece& p : pieces) {
        const QImage grab = showPage(p.page)->grab().toImage();
        ASSERT_EQ(grab.devicePixelRatio(), 2.0) << "the screen is not scaled; nothing here would be tested";
        ASSERT_EQ(grab.size(), QSize(1920, 1280));
        const QImage shown = plain(grab.copy(QRect(p.onPage.topLeft() * 2, p.onPage.size() * 2)));
        const QImage twin = resourcePicture(p.picture, "@2x").copy(QRect(p.inPicture * 2, p.onPage.size() * 2));
        EXPECT_TRUE(shown == twin) << p << ": " << firstDifference(shown, twin);
        // What a page drawing its 1x pictures through a scaled painter would show instead.
        const QImage blown = resourcePicture(p.picture, "")
                                 .copy(QRect(p.inPicture, p.onPage.size()))
                                 .scaled(p.onPage.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        EXPECT_FALSE(shown == blown) << p << " shows the 1x picture scaled up";
    }
}

TEST_F(HiDpiPage, APointerAtAControlsLogicalPlaceOperatesIt)
{
    auto* effect = static_cast<CEffcetSettingsTab*>(showPage(0));
    CCustomButton* fxLoop = effect->button(CEffcetSettingsTab::kFXLoop);
    ASSERT_TRUE(fxLoop->isEnabled());
    const int before = fxLoop->toggleState();
    QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {},
                      fxLoop->mapTo(dialog.get(), fxLoop->rect().center()));
    EXPECT_EQ(fxLoop->toggleState(), 1 - before);

    // The gate's top position (3) points up and to the left of its turning centre; a press there sets it.
    CDTADial* gate = effect->noiseGateDial();
    gate->setValue(0);
    const QPoint top = QPoint(112, 108) + QPoint(-26, -31);
    QTest::mouseClick(dialog->windowHandle(), Qt::LeftButton, {}, gate->mapTo(dialog.get(), top));
    EXPECT_EQ(gate->value(), 3);
}

} // namespace
} // namespace orx

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every screen at device pixel ratio 2, as on a HiDPI monitor.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
