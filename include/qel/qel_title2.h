/* QEL_Title2: the title engine's public C interface.
 *
 * The same binary interface as QEL_Title2.h, for hosts written in C: a TitleHost is an object
 * whose first member points to a table of 69 functions in slot order. Call an operation as
 *     host->vtbl->InsertText(host, 0, 0, text);
 * Records have the sizes of the C++ header; text is UTF-16 (uint16_t) or UTF-8 (char). */
#ifndef QEL_TITLE2_C_H
#define QEL_TITLE2_C_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t QelHRESULT;
#define QEL_S_OK ((QelHRESULT)0)
#define QEL_S_FALSE ((QelHRESULT)1)
#define QEL_E_INVALIDARG ((QelHRESULT)0x80070057u)
#define QEL_E_POINTER ((QelHRESULT)0x80004003u)
#define QEL_E_FAIL ((QelHRESULT)0x80004005u)
#define QEL_E_OUTOFMEMORY ((QelHRESULT)0x8007000Eu)
#define QEL_E_ABORT ((QelHRESULT)0x80004004u)

typedef struct QelRECT { int32_t left, top, right, bottom; } QelRECT;

typedef struct QelFontSpec {
    uint16_t FaceName[32];
    uint32_t CharSet;
    float Size;
    int32_t Bold;
    uint32_t Italic, Underline, StrikeOut;
} QelFontSpec;

typedef struct QelMetaFace {
    uint32_t Enable, Color1, Color2; int32_t GradType; uint32_t Alpha; int32_t BlurRadius;
} QelMetaFace;

typedef struct QelMetaBorder {
    uint32_t Enable; int32_t Size; uint32_t Color1, Color2; int32_t GradType; uint32_t Alpha;
    int32_t BlurRadius;
} QelMetaBorder;

typedef struct QelMetaShadow {
    uint32_t EnableFace, EnableBorder, Color1, Color2; int32_t GradType; uint32_t Alpha;
    int32_t BlurRadius; float OffsetX, OffsetY; uint32_t Height;
} QelMetaShadow;

/* Widest border, and largest blur radius, drawn, in frame pixels (a wider one is drawn at this
 * size); a style of value V on a font of size S at scale K is V * S * K / 80 frame pixels. */
#define QEL_MAX_STYLE_PIXELS 2048

typedef struct QelCharSpacing { float WidthScale, Spacing; } QelCharSpacing;

typedef struct QelParagraphAttrs {
    uint32_t Align; float LineSpace, BeforeSpace, AfterSpace, LeftIndent, RightIndent;
} QelParagraphAttrs;

typedef struct QelStringAttrs {
    float Left, Top, WidthLimit, RotateDegree; int32_t Vertical; char PathID[260];
    float PathProgress; char MaskFile[260];
} QelStringAttrs;

typedef struct QelRenderSettings {
    float Reserved; int32_t QualityMode, ColorMode, Smoothing, KeepAlpha, Width, Height;
    float ScaleX, ScaleY; QelRECT ClipRect; int32_t UseGlyphCache, MaxThreads;
} QelRenderSettings;

typedef struct QelPathValue { char PathID[260]; float PathProgress; } QelPathValue;
typedef struct QelRectF { float x, y, width, height; } QelRectF;
/* Corners top-left, top-right, bottom-right, bottom-left, each point's x then its y. */
typedef struct QelQuadF { float x0, y0, x1, y1, x2, y2, x3, y3; } QelQuadF;

typedef int32_t (*QelEffectEnumProc)(const char* pathId, const void* name, const void* desc,
                                     const char* groupId);

typedef struct QelTitleHost QelTitleHost;

/* The operation table; slot N is member N. */
typedef struct QelTitleHostVtbl {
    int32_t (*AddString)(QelTitleHost* self); /* 0 */
    QelHRESULT (*ClearString)(QelTitleHost* self, int32_t row); /* 1 */
    int32_t (*RemoveAllStrings)(QelTitleHost* self); /* 2 */
    int32_t (*InsertText)(QelTitleHost* self, int32_t row, int32_t col, const uint16_t* text); /* 3 */
    int32_t (*DeleteText)(QelTitleHost* self, int32_t row, int32_t col, int32_t count); /* 4 */
    int32_t (*SetDefaultFont)(QelTitleHost* self, const QelFontSpec* font); /* 5 */
    QelHRESULT (*SetDefaultFace)(QelTitleHost* self, const QelMetaFace* face); /* 6 */
    QelHRESULT (*SetDefaultBorder)(QelTitleHost* self, const QelMetaBorder* border); /* 7 */
    QelHRESULT (*SetDefaultShadow)(QelTitleHost* self, const QelMetaShadow* shadow); /* 8 */
    QelHRESULT (*SetDefaultSpacing)(QelTitleHost* self, const QelCharSpacing* spacing); /* 9 */
    QelHRESULT (*SetDefaultParagraph)(QelTitleHost* self, const QelParagraphAttrs* para); /* 10 */
    QelHRESULT (*SetDefaultString)(QelTitleHost* self, const QelStringAttrs* attrs); /* 11 */
    QelHRESULT (*SetRenderSettings)(QelTitleHost* self, const QelRenderSettings* settings); /* 12 */
    QelHRESULT (*ApplyFont)(QelTitleHost* self, int32_t row, int32_t first, int32_t count); /* 13 */
    QelHRESULT (*ApplyFace)(QelTitleHost* self, int32_t row, int32_t first, int32_t count); /* 14 */
    QelHRESULT (*ApplyBorder)(QelTitleHost* self, int32_t row, int32_t first, int32_t count); /* 15 */
    QelHRESULT (*ApplyShadow)(QelTitleHost* self, int32_t row, int32_t first, int32_t count); /* 16 */
    QelHRESULT (*ApplySpacing)(QelTitleHost* self, int32_t row, int32_t first, int32_t count); /* 17 */
    QelHRESULT (*ApplyParagraph)(QelTitleHost* self, int32_t row, int32_t first, int32_t count); /* 18 */
    QelHRESULT (*ApplyString)(QelTitleHost* self, int32_t row); /* 19 */
    QelHRESULT (*RemeasureAll)(QelTitleHost* self); /* 20 */
    QelHRESULT (*GetCharFont)(QelTitleHost* self, int32_t row, int32_t col, QelFontSpec* out); /* 21 */
    QelHRESULT (*GetCharFace)(QelTitleHost* self, int32_t row, int32_t col, QelMetaFace* out); /* 22 */
    QelHRESULT (*GetCharBorder)(QelTitleHost* self, int32_t row, int32_t col, QelMetaBorder* out); /* 23 */
    QelHRESULT (*GetCharShadow)(QelTitleHost* self, int32_t row, int32_t col, QelMetaShadow* out); /* 24 */
    QelHRESULT (*GetCharSpacing)(QelTitleHost* self, int32_t row, int32_t col, QelCharSpacing* out); /* 25 */
    QelHRESULT (*GetCharParagraph)(QelTitleHost* self, int32_t row, int32_t col, QelParagraphAttrs* out); /* 26 */
    QelHRESULT (*GetStringAttrs)(QelTitleHost* self, int32_t row, QelStringAttrs* out); /* 27 */
    QelHRESULT (*GetRenderSettings)(QelTitleHost* self, QelRenderSettings* out); /* 28 */
    int32_t (*GetCharCount)(QelTitleHost* self, int32_t row); /* 29 */
    int32_t (*GetLineCount)(QelTitleHost* self, int32_t row); /* 30 */
    int32_t (*GetStringCount)(QelTitleHost* self); /* 31 */
    int32_t (*GetParagraphCount)(QelTitleHost* self, int32_t row); /* 32 */
    QelHRESULT (*GetCharRect)(QelTitleHost* self, int32_t row, int32_t col, QelRectF* out, int32_t includeBreaks); /* 33 */
    QelHRESULT (*GetLineRect)(QelTitleHost* self, int32_t row, int32_t line, QelRectF* out); /* 34 */
    QelHRESULT (*GetParagraphRect)(QelTitleHost* self, int32_t row, int32_t para, QelRectF* out); /* 35 */
    QelHRESULT (*GetStringRect)(QelTitleHost* self, int32_t row, QelRectF* out); /* 36 */
    QelHRESULT (*GetCharQuad)(QelTitleHost* self, int32_t row, int32_t col, QelQuadF* out, int32_t includeBreaks); /* 37 */
    QelHRESULT (*GetLineQuad)(QelTitleHost* self, int32_t row, int32_t line, QelQuadF* out); /* 38 */
    QelHRESULT (*GetParagraphQuad)(QelTitleHost* self, int32_t row, int32_t para, QelQuadF* out); /* 39 */
    QelHRESULT (*GetStringQuad)(QelTitleHost* self, int32_t row, QelQuadF* out); /* 40 */
    int32_t (*GetText)(QelTitleHost* self, int32_t row, uint16_t* buffer); /* 41 */
    QelHRESULT (*LoadTitleFromBuffer)(QelTitleHost* self, const uint16_t* text); /* 42 */
    QelHRESULT (*SaveTitleToBuffer)(QelTitleHost* self, uint16_t* buffer, uint32_t* sizeBytes); /* 43 */
    QelHRESULT (*LoadTitleFromFile)(QelTitleHost* self, const uint16_t* path); /* 44 */
    QelHRESULT (*SaveTitleToFile)(QelTitleHost* self, const uint16_t* path); /* 45 */
    QelHRESULT (*LoadTitleFromNode)(QelTitleHost* self, void* node); /* 46 */
    QelHRESULT (*SaveTitleToNode)(QelTitleHost* self, void* node); /* 47 */
    QelHRESULT (*Render)(QelTitleHost* self, uint8_t* pixels, float time); /* 48 */
    QelHRESULT (*DumpLayout)(QelTitleHost* self, int32_t row); /* 49 */
    QelHRESULT (*SetKeyFrame)(QelTitleHost* self, int32_t row, float key, const QelPathValue* value); /* 50 */
    QelHRESULT (*RemoveKeyFrame)(QelTitleHost* self, int32_t row, float key); /* 51 */
    QelHRESULT (*ClearKeyFrames)(QelTitleHost* self, int32_t row); /* 52 */
    int32_t (*GetKeyFrameCount)(QelTitleHost* self, int32_t row); /* 53 */
    QelHRESULT (*GetFirstKeyFrame)(QelTitleHost* self, int32_t row, float* key, QelPathValue* value); /* 54 */
    QelHRESULT (*GetNextKeyFrame)(QelTitleHost* self, int32_t row, float* key, QelPathValue* value); /* 55 */
    QelHRESULT (*SetTime)(QelTitleHost* self, int32_t row, float time); /* 56 */
    int32_t (*SelectByLevel)(QelTitleHost* self, int32_t level); /* 57 */
    QelHRESULT (*LoadEffectStrings)(QelTitleHost* self, const uint16_t* path); /* 58 */
    int32_t (*EnumEffects)(QelTitleHost* self, QelEffectEnumProc proc); /* 59 */
    int32_t (*EnumEffectsW)(QelTitleHost* self, QelEffectEnumProc proc); /* 60 */
    const char* (*GetEffectName)(QelTitleHost* self, const char* pathId); /* 61 */
    const uint16_t* (*GetEffectNameW)(QelTitleHost* self, const char* pathId); /* 62 */
    const char* (*GetEffectDesc)(QelTitleHost* self, const char* pathId); /* 63 */
    const uint16_t* (*GetEffectDescW)(QelTitleHost* self, const char* pathId); /* 64 */
    QelHRESULT (*GetDirtyRect)(QelTitleHost* self, QelRECT* out); /* 65 */
    int32_t (*ReleaseCaches)(QelTitleHost* self); /* 66 */
    QelHRESULT (*GetDefaultFont)(QelTitleHost* self, QelFontSpec* out); /* 67 */
    void* (*Destroy)(QelTitleHost* self, uint32_t flags); /* 68 */
} QelTitleHostVtbl;

struct QelTitleHost {
    const QelTitleHostVtbl* vtbl;
};

#if defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(QelRECT) == 16, "RECT");
_Static_assert(sizeof(QelFontSpec) == 88, "FontSpec");
_Static_assert(sizeof(QelMetaFace) == 24, "MetaFace");
_Static_assert(sizeof(QelMetaBorder) == 28, "MetaBorder");
_Static_assert(sizeof(QelMetaShadow) == 40, "MetaShadow");
_Static_assert(sizeof(QelCharSpacing) == 8, "CharSpacing");
_Static_assert(sizeof(QelParagraphAttrs) == 24, "ParagraphAttrs");
_Static_assert(sizeof(QelStringAttrs) == 544, "StringAttrs");
_Static_assert(sizeof(QelRenderSettings) == 60, "RenderSettings");
_Static_assert(sizeof(QelPathValue) == 264, "PathValue");
_Static_assert(sizeof(QelRectF) == 16, "RectF");
_Static_assert(sizeof(QelQuadF) == 32, "QuadF");
_Static_assert(sizeof(QelTitleHostVtbl) == 69 * sizeof(void*), "69 slots");
#endif

/* The four exports of libQEL_Title2.so. */
QelTitleHost* GetTitleHost(void);
QelTitleHost* GetTitleHost3(void);
int32_t ReleaseTitleHost(QelTitleHost* host);
int32_t ReleaseTitleHost3(QelTitleHost* host);

#ifdef __cplusplus
}
#endif

#endif
