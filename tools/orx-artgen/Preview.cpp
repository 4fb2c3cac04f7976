// Pages composed the way the program paints them, with sample texts and controls in chosen looks, for review.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Preview.h"
#include "Materials.h"

#include <QDir>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace artgen {

namespace {

struct Shown {
    Strip strip;
    int frame;
};

QImage picture(const Pictures& pictures, int id)
{
    const auto it = pictures.find(id);
    return it == pictures.end() ? QImage() : it->second;
}

void drawFrame(QPainter& p, const Pictures& pictures, const Shown& s, QSize size)
{
    const QImage strip = picture(pictures, s.strip.id);
    p.drawImage(QRect(s.strip.at, size), strip, QRect(QPoint(0, s.frame * s.strip.frame.height()), size));
}

struct EffectScene {
    int ampChannel;
    int booster;
    Look boosterLook;
    int reverb;
    Look reverbLook;
    Look fxLook;
    int gate;
};

QImage effectScene(const Pictures& pictures, const EffectScene& sc)
{
    QImage page = picture(pictures, kEffectPage).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&page);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(34);
    p.setFont(font);
    p.setPen(Qt::white);
    const char* boosters[] = {"White Drive", "Green Drive", "Amber Drive"};
    const char* reverbs[] = {"Spring", "Plate", "Room", "Hall"};
    p.drawText(kBoosterText, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine,
               QString::fromLatin1(boosters[sc.booster]));
    p.drawText(kReverbText, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine,
               QString::fromLatin1(reverbs[sc.reverb]));
    drawFrame(p, pictures, {kNoiseGate, sc.gate}, kNoiseGatePlacement);
    std::vector<Shown> shown;
    if (sc.ampChannel >= 0)
        shown.push_back({kEffectAmpCh, frameOf(kLabelFrames, sc.ampChannel ? Look::NormalOn : Look::NormalOff)});
    shown.push_back({kFxLoop, frameOf(kToggleFrames, sc.fxLook)});
    const Strip boosterSwitches[] = {kWhite, kGreen, kAmber};
    const Strip reverbSwitches[] = {kSpring, kPlate, kRoom, kHall};
    for (int i = 0; i < 3; ++i) {
        const Look look = i == sc.booster ? Look::NormalOn : sc.boosterLook;
        shown.push_back({boosterSwitches[i], frameOf(kPedalFrames, look)});
    }
    for (int i = 0; i < 4; ++i) {
        const Look look = i == sc.reverb ? Look::NormalOn : sc.reverbLook;
        shown.push_back({reverbSwitches[i], frameOf(kPedalFrames, look)});
    }
    for (const Shown& s : shown)
        drawFrame(p, pictures, s, s.strip.frame);
    return page;
}

struct SpeakerScene {
    int ampChannel;
    const char* ampType;
    const char* irName;
    const char* irGain;
    int dial;
    const char* folder;
    std::vector<const char*> entries;
    int selected;
    int top;
    Look install;
    Look folderLook;
    Look bypass;
    Look up;
    Look down;
};

QImage speakerScene(const Pictures& pictures, const SpeakerScene& sc)
{
    QImage page = picture(pictures, kSpeakerPage).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&page);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Meiryo UI"));
    font.setBold(true);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(kAmpTypeText, Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(sc.ampType));
    p.drawText(kIrGainText, Qt::AlignRight | Qt::AlignVCenter, QString::fromLatin1(sc.irGain));
    const double gain = sc.dial <= 20 ? sc.dial - 30 : (sc.dial - 40) / 2.0;
    p.drawText(kDialGainText, Qt::AlignHCenter | Qt::AlignVCenter, QString::asprintf("%5.1f dB", gain));
    p.drawText(kFolderText, Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(font).elidedText(QString::fromLatin1(sc.folder), Qt::ElideMiddle, kFolderText.width()));

    drawFrame(p, pictures, {kGainDial, sc.dial}, kGainDialPlacement);

    // Scroll bar as the page sets it up: maximum = entries, thumb length from the visible share.
    p.fillRect(kScrollBar, kNearBlack);
    const int n = static_cast<int>(sc.entries.size());
    const int h = kScrollBar.height();
    int thumb = static_cast<int>(h / std::max(1.0, n * 19.0 / h));
    thumb = std::max(thumb, 19);
    const int maximum = n;
    int pos = maximum - 10 > 0 ? static_cast<int>(static_cast<float>(h - thumb / 2) / (maximum - 10) * sc.top) : 0;
    pos = std::clamp(pos, 0, h - thumb);
    const int x = kScrollBar.x();
    int y = kScrollBar.y() + 1 + pos;
    p.drawImage(QRect(x, y, kThumbWidth, 2), picture(pictures, kThumbTop));
    int r = y + 2;
    for (; r < y + thumb - 4; ++r)
        p.drawImage(QRect(x, r, kThumbWidth, 1), picture(pictures, kThumbMiddle));
    p.drawImage(QRect(x, r, kThumbWidth, 2), picture(pictures, kThumbBottom));

    std::vector<Shown> shown;
    if (sc.ampChannel >= 0)
        shown.push_back({kSpeakerAmpCh, frameOf(kLabelFrames, sc.ampChannel ? Look::NormalOn : Look::NormalOff)});
    shown.push_back({kFolder, frameOf(kPushFrames, sc.folderLook)});
    shown.push_back({kInstall, frameOf(kPushFrames, sc.install)});
    shown.push_back({kBypass, frameOf(kToggleFrames, sc.bypass)});
    shown.push_back({kUp, frameOf(kPushFrames, sc.up)});
    shown.push_back({kDown, frameOf(kPushFrames, sc.down)});
    for (const Shown& s : shown)
        drawFrame(p, pictures, s, s.strip.frame);

    // The edit and the list are real windows on top of the picture.
    p.fillRect(kIrNameEdit, kNearBlack);
    p.drawText(kIrNameEdit.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(sc.irName));
    p.fillRect(kFileList, kNearBlack);
    for (int i = sc.top; i < n; ++i) {
        const QRect item(kFileList.x(), kFileList.y() + (i - sc.top) * 19, kFileList.width(), 19);
        if (item.bottom() + 1 >= kFileList.bottom() + 1)
            break;
        p.setPen(i == sc.selected ? QColor(255, 174, 0) : QColor(Qt::white));
        p.drawText(item.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(sc.entries[i]));
    }
    return page;
}

// Every frame of a strip over its own piece of the page, side by side, to check that the edges meet.
QImage stripSheet(const Pictures& pictures, const Strip& s, int pageId, int zoom)
{
    constexpr int kMargin = 10;
    constexpr int kCaption = 14;
    const int columns = std::min(s.frames, 9);
    const int rows = (s.frames + columns - 1) / columns;
    const QSize cell(s.frame.width() + 2 * kMargin, s.frame.height() + 2 * kMargin + kCaption);
    QImage sheet(cell.width() * columns, cell.height() * rows, QImage::Format_RGB32);
    sheet.fill(QColor(60, 60, 60));
    const QImage page = picture(pictures, pageId);
    const QImage strip = picture(pictures, s.id);
    QPainter p(&sheet);
    p.setFont(legendFont(10, true));
    for (int k = 0; k < s.frames; ++k) {
        const QPoint origin((k % columns) * cell.width(), (k / columns) * cell.height());
        p.drawImage(origin, page, QRect(s.at - QPoint(kMargin, kMargin), s.frame + QSize(2 * kMargin, 2 * kMargin)));
        p.drawImage(origin + QPoint(kMargin, kMargin), strip, QRect(QPoint(0, k * s.frame.height()), s.frame));
        p.setPen(Qt::white);
        p.drawText(QRect(origin + QPoint(0, cell.height() - kCaption), QSize(cell.width(), kCaption)), Qt::AlignCenter,
                   QString::number(k));
    }
    p.end();
    return zoom > 1 ? sheet.scaled(sheet.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation) : sheet;
}

} // namespace

bool writePreviews(const Pictures& pictures, const QString& folder)
{
    QDir().mkpath(folder);
    bool ok = true;
    auto save = [&](const QImage& img, const QString& name) { ok = img.save(QDir(folder).filePath(name)) && ok; };

    // Double-size details of the composed pages, to judge the finish at the pixel level.
    auto zoom = [&](const QImage& page, const QRect& r, const QString& name) {
        save(page.copy(r).scaled(r.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation), name);
    };

    save(effectScene(pictures, {-1, 0, Look::NormalOff, 0, Look::NormalOff, Look::NormalOff, 0}),
         QStringLiteral("effect-model1.png"));
    const QImage hover = effectScene(pictures, {0, 1, Look::HoverOff, 1, Look::NormalOff, Look::HoverOff, 1});
    save(hover, QStringLiteral("effect-amp1-hover.png"));
    zoom(hover, QRect(0, 0, 480, 300), QStringLiteral("zoom-effect-left.png"));
    zoom(hover, QRect(480, 0, 480, 300), QStringLiteral("zoom-effect-right.png"));
    zoom(hover, QRect(20, 320, 480, 320), QStringLiteral("zoom-effect-booster.png"));
    save(effectScene(pictures, {1, 2, Look::PressedOff, 3, Look::HoverOff, Look::NormalOn, 3}),
         QStringLiteral("effect-amp2-parallel.png"));
    save(effectScene(pictures, {1, 0, Look::NormalOff, 2, Look::PressedOff, Look::PressedOn, 2}),
         QStringLiteral("effect-amp2-pressed.png"));

    const std::vector<const char*> files{"[..]",
                                         "[Cabinets 4x12]",
                                         "[alpha]",
                                         "[Zeta]",
                                         "a.aif",
                                         "b.WAV",
                                         "c.aiff",
                                         "Warm Cab.2x12.wav",
                                         "Vintage 30 Close.wav",
                                         "Greenback SM57 off-axis.wav",
                                         "Bright 1x12.aiff",
                                         "Studio Room.wav",
                                         "Sp?cial.wav",
                                         "Z Last.wav"};
    save(speakerScene(pictures, {-1, "MODERN", "Untitled", "-30.0 dB", 18, "/home/user/Music/ORX/Veltra", files, -1, 0,
                                 Look::NormalOff, Look::NormalOff, Look::NormalOff, Look::NormalOff, Look::NormalOff}),
         QStringLiteral("speaker-model1.png"));
    const QImage bypass =
        speakerScene(pictures, {0, "CRUNCH", "Warm Cab.2x12", "-10.0 dB", 40,
                                "/home/user/Music/ORX/Veltra/Cabinets 4x12/Closed back/British", files, 7, 3,
                                Look::HoverOff, Look::HoverOff, Look::NormalOn, Look::HoverOff, Look::NormalOff});
    save(bypass, QStringLiteral("speaker-amp1-bypass.png"));
    zoom(bypass, QRect(20, 140, 500, 120), QStringLiteral("zoom-speaker-display.png"));
    zoom(bypass, QRect(230, 250, 480, 320), QStringLiteral("zoom-speaker-browser.png"));
    zoom(bypass, QRect(600, 250, 360, 340), QStringLiteral("zoom-speaker-right.png"));
    save(speakerScene(pictures,
                      {1, "SOLID", "Greenback SM57 off-axis", "  0.0 dB", 0, "/home/user/IR", files, 9, 4,
                       Look::PressedOff, Look::PressedOff, Look::PressedOn, Look::NormalOff, Look::PressedOff}),
         QStringLiteral("speaker-amp2-pressed.png"));

    save(stripSheet(pictures, kEffectAmpCh, kEffectPage, 2), QStringLiteral("frames-273.png"));
    for (const Strip& s : {kWhite, kGreen, kAmber, kSpring, kPlate, kRoom, kHall})
        save(stripSheet(pictures, s, kEffectPage, 1), QStringLiteral("frames-%1.png").arg(s.id));
    save(stripSheet(pictures, kFxLoop, kEffectPage, 1), QStringLiteral("frames-282.png"));
    save(stripSheet(pictures, kNoiseGate, kEffectPage, 1), QStringLiteral("frames-283.png"));
    save(stripSheet(pictures, kSpeakerAmpCh, kSpeakerPage, 2), QStringLiteral("frames-287.png"));
    save(stripSheet(pictures, kBypass, kSpeakerPage, 1), QStringLiteral("frames-288.png"));
    save(stripSheet(pictures, kGainDial, kSpeakerPage, 1), QStringLiteral("frames-290.png"));
    save(stripSheet(pictures, kInstall, kSpeakerPage, 2), QStringLiteral("frames-291.png"));
    save(stripSheet(pictures, kFolder, kSpeakerPage, 3), QStringLiteral("frames-292.png"));
    save(stripSheet(pictures, kDown, kSpeakerPage, 4), QStringLiteral("frames-294.png"));
    save(stripSheet(pictures, kUp, kSpeakerPage, 4), QStringLiteral("frames-295.png"));
    return ok;
}

} // namespace artgen
