/* An out-of-tree C host built against an installed library through pkg-config:
 *     cc c_host.c $(pkg-config --cflags --libs qel-title2)
 * It loads a title, draws it into a 320x180 frame and checks two pixels: the middle of the first
 * character (a full block in the title's colour) and a corner the title leaves alone. */
#include <stdio.h>
#include <string.h>

#include <qel/qel_title2.h>

enum { kWidth = 320, kHeight = 180 };

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: c_host TITLE.xml\n");
        return 2;
    }
    uint16_t path[4096];
    size_t n = strlen(argv[1]);
    if (n >= sizeof path / sizeof path[0]) return 2;
    for (size_t i = 0; i <= n; ++i) path[i] = (unsigned char)argv[1][i]; /* ASCII paths only */

    QelTitleHost* host = GetTitleHost();
    if (!host) return 1;
    int ok = 0;
    static uint8_t frame[kWidth * kHeight * 4];
    QelRenderSettings rs;
    QelRectF box;
    if (host->vtbl->LoadTitleFromFile(host, path) != QEL_S_OK) {
        fprintf(stderr, "c host: cannot load %s\n", argv[1]);
    } else {
        host->vtbl->GetRenderSettings(host, &rs);
        rs.Width = kWidth;
        rs.Height = kHeight;
        rs.ScaleX = rs.ScaleY = kWidth / 1920.0f; /* the title is laid out for 1920x1080 */
        rs.ClipRect.left = rs.ClipRect.top = 0;
        rs.ClipRect.right = kWidth;
        rs.ClipRect.bottom = kHeight;
        host->vtbl->SetRenderSettings(host, &rs);
        host->vtbl->RemeasureAll(host);
        if (host->vtbl->Render(host, frame, 1.0f) == QEL_S_OK &&
            host->vtbl->GetCharRect(host, 0, 0, &box, 0) == QEL_S_OK) {
            const uint8_t* mid = frame + ((int)(box.y + box.height / 2) * kWidth + (int)(box.x + box.width / 2)) * 4;
            /* blue, green, red, alpha: the title is red (the fast quality mode may round to 254) */
            ok = mid[0] <= 2 && mid[1] <= 2 && mid[2] >= 250 && mid[3] == 255 && frame[3] == 0;
            printf("c host: middle of the character %u,%u,%u,%u (BGRA), corner alpha %u\n", mid[0], mid[1], mid[2],
                   mid[3], frame[3]);
        }
    }
    ReleaseTitleHost(host);
    return ok ? 0 : 1;
}
