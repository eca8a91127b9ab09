/* A host written in C: loads the library with dlopen and calls operations by slot number through
 * the object's table pointer, as a C host would. */
#include <dlfcn.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "qel/qel_extensions.h"
#include "qel/qel_title2.h"

static int failures = 0;
#define CHECK(cond)                                                   \
    do {                                                              \
        if (!(cond)) {                                                \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                               \
        }                                                             \
    } while (0)

typedef void* (*AnyFn)(void);

/* Entry N of the table, reached by index rather than by member name. */
static AnyFn Slot(QelTitleHost* host, int n) { return ((AnyFn const*)host->vtbl)[n]; }

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: c_host_test LIBRARY\n");
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    QelTitleHost* (*getHost)(void) = (QelTitleHost * (*)(void)) dlsym(lib, "GetTitleHost");
    int32_t (*release)(QelTitleHost*) = (int32_t(*)(QelTitleHost*))dlsym(lib, "ReleaseTitleHost");
    CHECK(getHost && release && dlsym(lib, "GetTitleHost3") && dlsym(lib, "ReleaseTitleHost3"));
    if (!getHost || !release) return 1;

    QelTitleHost* host = getHost();
    CHECK(host != NULL);

    /* slot 31: GetStringCount */
    int32_t (*getStringCount)(QelTitleHost*) = (int32_t(*)(QelTitleHost*))Slot(host, 31);
    CHECK(getStringCount(host) == 0);

    /* slot 67: GetDefaultFont: size 24, not bold, some face name */
    QelHRESULT (*getDefaultFont)(QelTitleHost*, QelFontSpec*) =
        (QelHRESULT(*)(QelTitleHost*, QelFontSpec*))Slot(host, 67);
    QelFontSpec font;
    memset(&font, 0xCD, sizeof font);
    CHECK(getDefaultFont(host, &font) == QEL_S_OK);
    CHECK(font.Size == 24.0f);
    CHECK(font.Bold == 0);
    CHECK(font.FaceName[0] != 0);

    /* slot 28: GetRenderSettings returns the built-in settings */
    QelHRESULT (*getSettings)(QelTitleHost*, QelRenderSettings*) =
        (QelHRESULT(*)(QelTitleHost*, QelRenderSettings*))Slot(host, 28);
    QelRenderSettings rs;
    CHECK(getSettings(host, &rs) == QEL_S_OK);
    CHECK(rs.Width == 320 && rs.Height == 240 && rs.QualityMode == 1 && rs.ScaleX == 1.0f);
    CHECK(rs.ClipRect.right == 320 && rs.ClipRect.bottom == 240 && rs.UseGlyphCache == 1);

    /* slot 12: SetRenderSettings stores the record, UseGlyphCache forced to 1 */
    QelHRESULT (*setSettings)(QelTitleHost*, const QelRenderSettings*) =
        (QelHRESULT(*)(QelTitleHost*, const QelRenderSettings*))Slot(host, 12);
    rs.Width = 640;
    rs.Height = 360;
    rs.UseGlyphCache = 0;
    CHECK(setSettings(host, &rs) == QEL_S_OK);
    QelRenderSettings back;
    getSettings(host, &back);
    CHECK(back.Width == 640 && back.Height == 360 && back.UseGlyphCache == 1);

    /* slot 5: SetDefaultFont with a face that is not installed substitutes it (result 1) */
    QelFontSpec request;
    memset(&request, 0, sizeof request);
    const char* missing = "No Such Face 123";
    for (int i = 0; missing[i]; ++i) request.FaceName[i] = (uint16_t)missing[i];
    request.CharSet = 1;
    request.Size = 36.0f;
    int32_t (*setDefaultFont)(QelTitleHost*, const QelFontSpec*) =
        (int32_t(*)(QelTitleHost*, const QelFontSpec*))Slot(host, 5);
    CHECK(setDefaultFont(host, &request) == 1);
    getDefaultFont(host, &font);
    CHECK(font.Size == 36.0f);
    CHECK(font.FaceName[0] != 0 && font.FaceName[0] != 'N');

    /* slots 0, 3, 36, 40: a string's quad is its box's corners clockwise from the top left, each
     * point's x then its y, so it reads as an array of four points */
    int32_t (*addString)(QelTitleHost*) = (int32_t(*)(QelTitleHost*))Slot(host, 0);
    int32_t (*insertText)(QelTitleHost*, int32_t, int32_t, const uint16_t*) =
        (int32_t(*)(QelTitleHost*, int32_t, int32_t, const uint16_t*))Slot(host, 3);
    QelHRESULT (*getStringRect)(QelTitleHost*, int32_t, QelRectF*) =
        (QelHRESULT(*)(QelTitleHost*, int32_t, QelRectF*))Slot(host, 36);
    QelHRESULT (*getStringQuad)(QelTitleHost*, int32_t, QelQuadF*) =
        (QelHRESULT(*)(QelTitleHost*, int32_t, QelQuadF*))Slot(host, 40);
    const uint16_t text[] = {'Q', 'u', 'a', 'd', 0};
    CHECK(addString(host) == 0);
    CHECK(insertText(host, 0, 0, text) == 4);
    QelRectF box;
    QelQuadF quad;
    CHECK(getStringRect(host, 0, &box) == QEL_S_OK && box.width > 0 && box.height > 0);
    CHECK(getStringQuad(host, 0, &quad) == QEL_S_OK);
    const float expect[4][2] = {{box.x, box.y},
                                {box.x + box.width, box.y},
                                {box.x + box.width, box.y + box.height},
                                {box.x, box.y + box.height}};
    float points[4][2];
    memcpy(points, &quad, sizeof points);
    for (int k = 0; k < 4; ++k) {
        CHECK(fabsf(points[k][0] - expect[k][0]) < 1e-3f);
        CHECK(fabsf(points[k][1] - expect[k][1]) < 1e-3f);
    }
    CHECK(quad.x2 == points[2][0] && quad.y3 == points[3][1]);

    /* the plates extension, found by name and version */
    const void* (*getExtension)(const char*, uint32_t) =
        (const void* (*)(const char*, uint32_t))dlsym(lib, "QelGetExtension");
    CHECK(getExtension != NULL);
    if (getExtension) {
        const QelPlatesV1* plates = (const QelPlatesV1*)getExtension(QEL_PLATES_EXTENSION, 1);
        CHECK(plates != NULL && plates->Version >= 1 && plates->StructSize >= sizeof(QelPlatesV1));
        QelPlate plate;
        memset(&plate, 0, sizeof plate);
        plate.Per = QEL_PLATE_PER_WORD;
        plate.Color1 = plate.Color2 = 0x202020;
        plate.Alpha = 200;
        CHECK(plates && plates->SetPlate(host, 0, 0, &plate) == QEL_S_OK);
        CHECK(plates && plates->GetPlateCount(host, 0) == 1);
        QelPlate back;
        CHECK(plates && plates->GetPlate(host, 0, 0, &back) == QEL_S_OK && back.Alpha == 200);
    }

    /* slot 68: the deleting destructor with flag 1 frees the object */
    void* (*destroy)(QelTitleHost*, uint32_t) = (void* (*)(QelTitleHost*, uint32_t))Slot(host, 68);
    destroy(host, 1);

    CHECK(release(NULL) == 0);
    QelTitleHost* second = getHost();
    CHECK(release(second) == 0);

    dlclose(lib);
    if (failures) {
        fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    printf("c host: all checks passed\n");
    return 0;
}
