// An out-of-tree C++ host built against an installed library through its CMake package
// (find_package(QEL_Title2), target QEL::Title2). It loads a title, draws it into a 320x180 frame
// and checks the middle of the first character (a red full block) and an untouched corner.
#include <qel/QEL_Title2.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: cxx_host TITLE.xml\n"), 2;
    constexpr int kWidth = 320, kHeight = 180;
    const std::unique_ptr<qel::ITitleHost, decltype(&ReleaseTitleHost)> host(GetTitleHost(), &ReleaseTitleHost);
    if (!host) return 1;
    const std::string narrow = argv[1];
    const std::u16string path(narrow.begin(), narrow.end());  // ASCII paths only
    if (host->LoadTitleFromFile(path.c_str()) != qel::S_OK) return std::fprintf(stderr, "cannot load %s\n", argv[1]), 1;

    qel::RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = kWidth;
    rs.Height = kHeight;
    rs.ScaleX = rs.ScaleY = kWidth / 1920.0f;  // the title is laid out for 1920x1080
    rs.ClipRect = {0, 0, kWidth, kHeight};
    host->SetRenderSettings(&rs);
    host->RemeasureAll();

    std::vector<uint8_t> frame(kWidth * kHeight * 4);
    qel::RectF box{};
    if (host->Render(frame.data(), 1.0f) != qel::S_OK || host->GetCharRect(0, 0, &box, 0) != qel::S_OK) return 1;
    const uint8_t* mid = &frame[(static_cast<int>(box.y + box.height / 2) * kWidth + static_cast<int>(box.x + box.width / 2)) * 4];
    std::printf("c++ host: middle of the character %u,%u,%u,%u (BGRA), corner alpha %u\n", mid[0], mid[1], mid[2], mid[3],
                frame[3]);
    const bool ok = mid[0] <= 2 && mid[1] <= 2 && mid[2] >= 250 && mid[3] == 255 && frame[3] == 0;
    return ok ? 0 : 1;
}
