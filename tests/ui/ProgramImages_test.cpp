// The pictures the program carries and the installation's config.ini, checked as the
// program will meet them: decoded from the embedded bytes into the resource bitmaps, and
// read through the real settings reader and skin.

#include "core/ConfigFiles.h"
#include "ui/kit/EmbeddedImages.h"
#include "resources/ProgramImages.h"
#include "resources/ResourceIds.h"
#include "server/ServerSettings.h"
#include "tests/ui/PixelProbe.h"
#include "ui/kit/CSkinBitmap.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/image.h>

#include <set>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

const std::string ResourcesDir = ORVANE_RESOURCES_DIR;

struct Size {
    int id;
    int width;
    int height;
};

// Written from the windows that use them, not from the image files.
const Size ProgramPictures[] = {
    {IconProgram, 32, 32},
    {BitmapContactStates, 64, 16},
    {BitmapTalk, 33, 37},
    {BitmapTalkPressed, 33, 37},
    {BitmapTalkHover, 33, 37},
    {BitmapTalkDisabled, 33, 37},
    {BitmapHangUp, 33, 37},
    {BitmapHangUpPressed, 33, 37},
    {BitmapHangUpHover, 33, 37},
    {BitmapHangUpDisabled, 33, 37},
    {BitmapNotice, 143, 82},
    {162, 24, 24},
    {163, 24, 24},
    {165, 24, 24},
    {166, 24, 24},
    {167, 24, 24},
    {168, 24, 24},
    {169, 24, 24},
    {170, 24, 24},
    {171, 24, 24},
    {172, 24, 24},
    {173, 24, 24},
    {174, 24, 24},
    {BitmapCheckBoxTicked, 13, 13},
    {BitmapCheckBoxClear, 13, 13},
    {BitmapSmallButton, 72, 22},
    {BitmapSmallButtonDefault, 72, 22},
    {BitmapSmallButtonHover, 72, 22},
    {BitmapSmallButtonPressed, 72, 22},
    {BitmapLogo, 64, 64},
    {BitmapLargeButton, 96, 26},
    {BitmapLargeButtonPressed, 96, 26},
    {BitmapLargeButtonHover, 96, 26},
    {BitmapLargeButtonDefault, 96, 26},
};

struct ModulePicture {
    const char* file;
    int width;
    int height;
};

const ModulePicture ModulePictures[] = {
    {"modules/video/128-video-window.png", 32, 32},
    {"modules/video/135-video-button.png", 32, 32},
    {"modules/video/1021-waiting-picture.png", 120, 100},
    {"modules/webjoin/135-webjoin-button.png", 32, 32},
    {"modules/webjoin/1001-back.png", 32, 32},
    {"modules/webjoin/1002-stop.png", 32, 32},
    {"modules/webjoin/1003-refresh.png", 32, 32},
    {"modules/webjoin/1004-forward.png", 32, 32},
    {"modules/webjoin/1005-go.png", 16, 16},
};

wxImage programPicture(int id)
{
    return resourceBitmap(id).ConvertToImage();
}

wxImage modulePicture(const char* file)
{
    wxImage image;
    image.LoadFile(ResourcesDir + "/" + file, wxBITMAP_TYPE_PNG);
    return image;
}

bool isKey(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) == 255 && image.GetGreen(x, y) == 0 && image.GetBlue(x, y) == 255;
}

// Which pixels a window shape cuts away, row by row.
std::vector<bool> keyMask(const wxImage& image)
{
    std::vector<bool> mask;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            mask.push_back(isKey(image, x, y));
    return mask;
}

class ProgramImages : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(registerProgramImages()); }
};

} // namespace

TEST_F(ProgramImages, EveryPictureIsRegisteredAtTheSizeItsWindowExpects)
{
    for (const Size& expected : ProgramPictures) {
        SCOPED_TRACE(expected.id);
        const wxBitmap bitmap = resourceBitmap(expected.id);
        ASSERT_TRUE(bitmap.IsOk());
        EXPECT_EQ(bitmap.GetWidth(), expected.width);
        EXPECT_EQ(bitmap.GetHeight(), expected.height);
    }
    EXPECT_FALSE(resourceBitmap(164).IsOk()) << "the sign-in animation has no frame 164";
}

TEST_F(ProgramImages, TheModuleLibrariesPicturesDecodeAtTheirSizes)
{
    for (const ModulePicture& expected : ModulePictures) {
        SCOPED_TRACE(expected.file);
        const wxImage image = modulePicture(expected.file);
        ASSERT_TRUE(image.IsOk());
        EXPECT_EQ(image.GetWidth(), expected.width);
        EXPECT_EQ(image.GetHeight(), expected.height);
    }
}

TEST_F(ProgramImages, TheNoticeIsShapedOverItsFirst140ColumnsWithRoundedCorners)
{
    CSkinBitmap notice;
    ASSERT_TRUE(notice.LoadBitmap(BitmapNotice));
    const wxImage image = notice.bitmap().ConvertToImage();
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 140; x < image.GetWidth(); ++x)
            ASSERT_TRUE(isKey(image, x, y)) << x << "," << y;

    const wxRegion shape = notice.CreateRegion(0, 0, SkinKeyColor);
    EXPECT_EQ(shape.GetBox(), wxRect(0, 0, 140, 82));
    for (const wxPoint inside : {wxPoint(70, 8), wxPoint(70, 50), wxPoint(1, 41), wxPoint(139, 41)})
        EXPECT_EQ(shape.Contains(inside), wxInRegion) << inside.x << "," << inside.y;
    for (const wxPoint corner : {wxPoint(0, 0), wxPoint(139, 0), wxPoint(0, 81), wxPoint(139, 81)})
        EXPECT_EQ(shape.Contains(corner), wxOutRegion) << corner.x << "," << corner.y;
}

// A shaped button takes its window shape from its normal picture alone and draws the others
// inside it, so every state must cover exactly the same pixels: a key pixel inside the
// shape would show as a magenta dot while pressed or hovered.
TEST_F(ProgramImages, EveryStateOfAShapedButtonHasTheShapeOfItsNormalPicture)
{
    const std::vector<std::vector<int>> families = {
        {BitmapTalk, BitmapTalkPressed, BitmapTalkHover, BitmapTalkDisabled},
        {BitmapHangUp, BitmapHangUpPressed, BitmapHangUpHover, BitmapHangUpDisabled},
        {BitmapSmallButton, BitmapSmallButtonDefault, BitmapSmallButtonHover, BitmapSmallButtonPressed},
        {BitmapLargeButton, BitmapLargeButtonDefault, BitmapLargeButtonHover, BitmapLargeButtonPressed},
        {BitmapCheckBoxClear, BitmapCheckBoxTicked},
    };
    for (const auto& family : families) {
        const wxImage normal = programPicture(family[0]);
        const int w = normal.GetWidth();
        const int h = normal.GetHeight();
        SCOPED_TRACE(family[0]);
        // Rounded: the corners are cut, the middle and the middles of the edges stay.
        for (const wxPoint corner : {wxPoint(0, 0), wxPoint(w - 1, 0), wxPoint(0, h - 1), wxPoint(w - 1, h - 1)})
            EXPECT_TRUE(isKey(normal, corner.x, corner.y)) << corner.x << "," << corner.y;
        for (const wxPoint kept : {wxPoint(w / 2, h / 2), wxPoint(w / 2, 0), wxPoint(0, h / 2), wxPoint(w - 1, h / 2)})
            EXPECT_FALSE(isKey(normal, kept.x, kept.y)) << kept.x << "," << kept.y;
        for (size_t i = 1; i < family.size(); ++i) {
            SCOPED_TRACE(family[i]);
            EXPECT_TRUE(keyMask(programPicture(family[i])) == keyMask(normal));
        }
    }
}

// The edges of a cut shape are blended with the skin's background, never with the key: a
// pinkish pixel left inside the shape would fringe every button.
TEST_F(ProgramImages, NoPictureCarriesAPinkFringeInsideItsShape)
{
    for (const Size& picture : ProgramPictures) {
        SCOPED_TRACE(picture.id);
        const wxImage image = programPicture(picture.id);
        for (int y = 0; y < image.GetHeight(); ++y) {
            for (int x = 0; x < image.GetWidth(); ++x) {
                if (isKey(image, x, y))
                    continue;
                const bool pinkish = image.GetRed(x, y) > 200 && image.GetBlue(x, y) > 200 &&
                                     image.GetGreen(x, y) + 60 < image.GetRed(x, y);
                ASSERT_FALSE(pinkish) << x << "," << y;
            }
        }
    }
}

TEST_F(ProgramImages, TheContactTreeStripHoldsFourDifferentKeyedPictures)
{
    const wxImage strip = programPicture(BitmapContactStates);
    std::set<std::vector<unsigned char>> pictures;
    for (int cell = 0; cell < 4; ++cell) {
        SCOPED_TRACE(cell);
        const wxImage picture = strip.GetSubImage(wxRect(cell * 16, 0, 16, 16));
        EXPECT_TRUE(isKey(picture, 0, 0));
        EXPECT_TRUE(isKey(picture, 15, 15));
        EXPECT_FALSE(isKey(picture, 8, 7));
        pictures.insert(std::vector<unsigned char>(picture.GetData(), picture.GetData() + 16 * 16 * 3));
    }
    EXPECT_EQ(pictures.size(), 4u);
    // Online and offline contacts differ in colour only, not in figure.
    EXPECT_TRUE(keyMask(strip.GetSubImage(wxRect(32, 0, 16, 16))) == keyMask(strip.GetSubImage(wxRect(48, 0, 16, 16))));
}

TEST_F(ProgramImages, TheSignInAnimationMovesInEveryStepAndNeedsNoKey)
{
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(SigningInFrames[i]);
        const wxImage frame = programPicture(SigningInFrames[i]);
        const wxImage next = programPicture(SigningInFrames[(i + 1) % 12]);
        // The picture control shows a frame as it is: a key pixel would be seen.
        for (bool key : keyMask(frame))
            ASSERT_FALSE(key);
        EXPECT_FALSE(std::equal(frame.GetData(), frame.GetData() + 24 * 24 * 3, next.GetData()));
    }
}

TEST_F(ProgramImages, IconsAreTransparentAroundAnOpaqueMiddle)
{
    const wxImage program = programPicture(IconProgram);
    const wxImage video = modulePicture("modules/video/128-video-window.png");
    for (const wxImage* icon : {&program, &video}) {
        ASSERT_TRUE(icon->HasAlpha());
        EXPECT_EQ(icon->GetAlpha(0, 0), 0);
        EXPECT_EQ(icon->GetAlpha(31, 0), 0);
        EXPECT_EQ(icon->GetAlpha(12, 16), 255);
    }
}

TEST_F(ProgramImages, TheVideoWaitingPictureFitsA256ColourPaletteAndShowsWhole)
{
    const wxImage image = modulePicture("modules/video/1021-waiting-picture.png");
    ASSERT_TRUE(image.IsOk());
    std::set<unsigned> colours;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            colours.insert(unsigned(image.GetRed(x, y)) << 16 | unsigned(image.GetGreen(x, y)) << 8 | image.GetBlue(x, y));
    EXPECT_LE(colours.size(), 256u);
    EXPECT_GT(colours.size(), 1u) << "a backdrop with some texture";
    EXPECT_EQ(colours.count(0xff00ffu), 0u) << "stretched over the window as it is";
}

TEST_F(ProgramImages, TheModuleButtonsAreKeyedForTransparentDrawing)
{
    for (const ModulePicture& picture : ModulePictures) {
        const wxImage image = modulePicture(picture.file);
        if (image.HasAlpha() || picture.width == 120)
            continue; // the icon and the waiting picture
        SCOPED_TRACE(picture.file);
        EXPECT_TRUE(isKey(image, 0, 0));
        EXPECT_FALSE(isKey(image, picture.width / 2, picture.height / 2));
    }
}

TEST(EmbeddedImages, ADamagedImageIsReportedAndTheOthersAreStillRegistered)
{
    // A 1 by 1 PNG, white.
    static const unsigned char onePixel[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x77, 0x53,
        0xde, 0x00, 0x00, 0x00, 0x0c, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0xff, 0xff, 0x3f,
        0x00, 0x05, 0xfe, 0x02, 0xfe, 0x33, 0x12, 0x95, 0x14, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e,
        0x44, 0xae, 0x42, 0x60, 0x82,
    };
    static const unsigned char damaged[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00};
    const EmbeddedImage images[] = {
        {990001, damaged, sizeof damaged},
        {990002, onePixel, sizeof onePixel},
    };
    EXPECT_FALSE(registerEmbeddedImages(images, 2));
    EXPECT_FALSE(resourceBitmap(990001).IsOk());
    ASSERT_TRUE(resourceBitmap(990002).IsOk());
    EXPECT_EQ(pixelAt(resourceBitmap(990002), 0, 0), 0xffffffu);
}

TEST(EmbeddedImages, ThePngDecoderIsInstalledWhenTheProgramHasNotDoneSo)
{
    ASSERT_TRUE(wxImage::RemoveHandler("PNG file"));
    ASSERT_EQ(wxImage::FindHandler(wxBITMAP_TYPE_PNG), nullptr);
    EXPECT_TRUE(registerProgramImages());
    EXPECT_NE(wxImage::FindHandler(wxBITMAP_TYPE_PNG), nullptr);
    EXPECT_TRUE(resourceBitmap(BitmapNotice).IsOk());
}

namespace {

struct SkinColour {
    const char* element;
    ColorRef (Skin::*get)();
    int red, green, blue;
};

// As written in resources/config.ini.
const SkinColour ConfigColours[] = {
    {"menu_selection_color", &Skin::menuSelectionColor, 176, 202, 238},
    {"menu_bar_color", &Skin::menuBarColor, 214, 226, 242},
    {"text_color", &Skin::textColor, 24, 36, 64},
    {"caption_text_color", &Skin::captionTextColor, 28, 52, 104},
    {"background_color", &Skin::backgroundColor, 200, 216, 236},
    {"background_color_light", &Skin::backgroundColorLight, 236, 242, 250},
    {"foreground_color", &Skin::foregroundColor, 58, 110, 180},
    {"progressbar_color_back", &Skin::progressBarBackColor, 222, 232, 246},
    {"progressbar_color_progress", &Skin::progressBarColor, 74, 134, 206},
};

ColorRef rgb(int red, int green, int blue)
{
    return ColorRef(red) | ColorRef(green) << 8 | ColorRef(blue) << 16;
}

// Perceived brightness, 0 to 255.
int brightness(ColorRef c)
{
    return (299 * int(c & 0xff) + 587 * int((c >> 8) & 0xff) + 114 * int((c >> 16) & 0xff)) / 1000;
}

class InstalledConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Only the program folder's config.ini is read; the user's folder is never touched.
        config.readConfig(ConfigPaths::locate(ResourcesDir.c_str(), "/nonexistent-config-home"));
        skin.load(config.skin);
    }

    ConfigSettings config;
    Skin skin;
};

} // namespace

TEST_F(InstalledConfig, NamesTheStandInServersAccountEndpointAndTheTimeOuts)
{
    EXPECT_EQ(std::string(config.serverUrl.c_str()),
              "http://127.0.0.1:" + std::to_string(ServerSettings::DefaultHttpPort) + "/orvane");
    EXPECT_EQ(config.acceptTimeoutMs, 500);
    EXPECT_EQ(config.socketTimeoutMs, 100);
    EXPECT_EQ(config.connectTimeoutMs, 10000);
}

TEST_F(InstalledConfig, GivesTheSkinEveryColourAsWrittenAndNoneBlack)
{
    for (const SkinColour& colour : ConfigColours) {
        SCOPED_TRACE(colour.element);
        const ColorRef read = (skin.*colour.get)();
        EXPECT_EQ(read, rgb(colour.red, colour.green, colour.blue));
        EXPECT_NE(read, 0u);
    }
}

TEST_F(InstalledConfig, ThePaletteKeepsTextReadableAndEditBordersVisible)
{
    // Dark text on the light backgrounds.
    for (ColorRef background : {skin.backgroundColor(), skin.backgroundColorLight()}) {
        EXPECT_GT(brightness(background) - brightness(skin.textColor()), 120);
        EXPECT_GT(brightness(background) - brightness(skin.captionTextColor()), 100);
    }
    // A flat edit's border is the light background drawn on the background; its hover
    // border, the foreground, stands out from both.
    EXPECT_GT(brightness(skin.backgroundColorLight()) - brightness(skin.backgroundColor()), 10);
    EXPECT_GT(brightness(skin.backgroundColor()) - brightness(skin.foregroundColor()), 60);
    EXPECT_NE(skin.progressBarColor(), skin.progressBarBackColor());
}

TEST_F(InstalledConfig, TheOpaquePicturesAreDrawnOnTheSkinsBackground)
{
    ASSERT_TRUE(registerProgramImages());
    // The animation frames are shown as they are, so their backdrop must be the colour
    // around them.
    for (int frame : SigningInFrames) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(pixelAt(resourceBitmap(frame), 0, 0), skin.backgroundColor());
        EXPECT_EQ(pixelAt(resourceBitmap(frame), 23, 23), skin.backgroundColor());
    }
}
