/* QEL_Title2 extensions: what the library offers beside the 69 operations of the TitleHost.
 *
 * The operation table never changes. New abilities come as named extensions: a host asks
 *     const QelPlatesV1* plates = (const QelPlatesV1*)QelGetExtension(QEL_PLATES_EXTENSION, 1);
 * and receives a table of functions, or null when this library does not have the extension (or
 * not in that version). A later version of an extension only appends members to its table, so a
 * table of version N also serves every caller that asked for a version below N; `Version` says
 * which one it is and `StructSize` how many bytes it holds. Tables are static: they stay valid
 * while the library is loaded and are shared by all TitleHosts. Every function takes the
 * TitleHost it works on (the pointer GetTitleHost returned, C or C++) as its first argument and
 * follows the operation table's conventions: result codes as there, nothing thrown, a bad row or
 * index rejected with E_INVALIDARG and nothing changed.
 *
 * For C and C++ alike; the records have fixed sizes (asserted below). */
#ifndef QEL_EXTENSIONS_H
#define QEL_EXTENSIONS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The table of the extension `name` in at least `version`, or null. */
const void* QelGetExtension(const char* name, uint32_t version);

/* ---- "qel.plates": plates behind text, and gradients across a whole string ----
 *
 * A plate is a box (rounded, filled, outlined, with a shadow) drawn under a string's text: one
 * behind the covered characters of the string, one behind each line of them, or one behind each
 * word. It is made from the boxes of the characters it covers (spaces and line breaks only
 * widen it between others), grown by its padding. A plate moves, turns, scales and fades with
 * its string's effect (from the mean answer for its characters), or, with a reveal, stands still
 * and is wiped in or grown from a point on its own timing in title time, which lets a bar come
 * in before its text. Plates are saved in the title file (a PlateList element that readers
 * without plates pass over) and edits of the text keep a plate on its characters. */
#define QEL_PLATES_EXTENSION "qel.plates"
#define QEL_PLATES_VERSION 1

/* QelPlate.Per */
#define QEL_PLATE_PER_STRING 0u
#define QEL_PLATE_PER_LINE 1u
#define QEL_PLATE_PER_WORD 2u
/* QelPlate.Across and the string's gradient-across mode: what one gradient spans. */
#define QEL_ACROSS_OWN 0u    /* each plate its own box; each character its own (as always) */
#define QEL_ACROSS_LINE 1u   /* the characters' line */
#define QEL_ACROSS_STRING 2u /* the whole string */
/* QelPlate.Reveal */
#define QEL_REVEAL_EFFECT 0u /* no reveal of its own: follows the string's effect */
#define QEL_REVEAL_WIPE 1u   /* wiped in from the side RevealFrom */
#define QEL_REVEAL_GROW 2u   /* grown from the point RevealFrom (a side's middle, or the centre) */
/* QelPlate.RevealFrom */
#define QEL_FROM_LEFT 0u
#define QEL_FROM_RIGHT 1u
#define QEL_FROM_TOP 2u
#define QEL_FROM_BOTTOM 3u
#define QEL_FROM_CENTER 4u

/* Most plates a string holds. */
#define QEL_MAX_PLATES 64

/* A plate. Lengths are layout units (those of the string's position and font sizes); colours are
 * 0x00BBGGRR model colours like the styles' (at most 0xFFFFFF), alphas 0..255, times title time
 * 0..1. An all-zero record is a valid (invisible) plate behind the whole string. */
typedef struct QelPlate {
    uint32_t Per;          /* QEL_PLATE_PER_... */
    int32_t First;         /* first character covered (>= 0) */
    int32_t Count;         /* characters covered; 0: from First to the end of the string */
    float PadX, PadY;      /* room around the characters' boxes, >= 0 */
    float Radius;          /* corner radius, >= 0; at most half the plate's shorter side is used */
    uint32_t Color1;       /* fill; two different colours make a gradient */
    uint32_t Color2;
    int32_t GradType;      /* the styles' gradient types 0..7 (others draw like 0) */
    uint32_t Alpha;        /* fill opacity */
    uint32_t Across;       /* QEL_ACROSS_...: what the fill's gradient spans */
    float BorderSize;      /* outline inside the plate's edge, >= 0; 0: none */
    uint32_t BorderColor;
    uint32_t BorderAlpha;
    float ShadowX, ShadowY; /* shadow offset */
    float ShadowBlur;      /* blur radius, >= 0 */
    uint32_t ShadowColor;
    uint32_t ShadowAlpha;  /* 0: no shadow */
    uint32_t Reveal;       /* QEL_REVEAL_... */
    uint32_t RevealFrom;   /* QEL_FROM_... */
    float RevealStart;     /* title time the reveal begins */
    float RevealLength;    /* and how long it takes (0: at once) */
    float HideStart;       /* title time the reverse of the reveal begins */
    float HideLength;      /* 0: the plate stays */
} QelPlate;

typedef struct QelPlatesV1 {
    uint32_t StructSize; /* bytes of this table */
    uint32_t Version;    /* QEL_PLATES_VERSION of the library */
    /* Plates of string `row`; 0 for a bad row. */
    int32_t (*GetPlateCount)(void* host, int32_t row);
    /* Copy of plate `index`; E_INVALIDARG (and a zero record) for a bad row or index. */
    int32_t (*GetPlate)(void* host, int32_t row, int32_t index, QelPlate* out);
    /* Replaces plate `index`, or appends one when index is the count. E_INVALIDARG for a bad
     * row, index or value (a field outside its range, a length that is not a finite number),
     * or when the string holds QEL_MAX_PLATES already; E_POINTER for a null record. */
    int32_t (*SetPlate)(void* host, int32_t row, int32_t index, const QelPlate* plate);
    /* Removes plate `index`; the later ones move down. */
    int32_t (*RemovePlate)(void* host, int32_t row, int32_t index);
    /* What the faces' gradients of string `row` span (QEL_ACROSS_...): with LINE or STRING every
     * character's face gradient is one gradient laid over its line or the whole string. */
    int32_t (*SetGradientAcross)(void* host, int32_t row, uint32_t across);
    int32_t (*GetGradientAcross)(void* host, int32_t row, uint32_t* out);
} QelPlatesV1;

/* ---- "qel.text": the language of a string's text, and even lines ----
 *
 * The language (a BCP 47 tag in ASCII: "ja", "zh-Hans", "sr", "ar") is the one the string's
 * text is shaped in: a font's local forms for it are used (Serbian italic letters, Japanese or
 * Chinese forms of an ideograph in a face that has both). A string without one is shaped as it
 * always was. Even lines make every line of a paragraph as thick as its main face (the font most
 * of its characters use) makes it, so a character set in a fallback face does not thicken its
 * line, and faces with tall marks (Thai) are not spaced two ems apart. Both are saved in the
 * title file (MetaString attributes Language and EvenLines that readers without them pass
 * over) only when set, so titles without them are stored and drawn as before. */
#define QEL_TEXT_EXTENSION "qel.text"
#define QEL_TEXT_VERSION 2

/* Longest language tag, in bytes without the terminator. */
#define QEL_MAX_LANGUAGE 35

typedef struct QelTextV1 {
    uint32_t StructSize; /* bytes of this table */
    uint32_t Version;    /* QEL_TEXT_VERSION of the library */
    /* Sets the language of string `row` (null or "" clears it) and lays the string out again.
     * E_INVALIDARG for a bad row or a tag that is not letters, digits and hyphens starting with
     * a letter, or longer than QEL_MAX_LANGUAGE. */
    int32_t (*SetLanguage)(void* host, int32_t row, const char* tag);
    /* The tag with its terminator into buffer[size] ("" when none); E_INVALIDARG (and "" when
     * size > 0) for a bad row or a buffer too small. */
    int32_t (*GetLanguage)(void* host, int32_t row, char* buffer, uint32_t size);
    /* Even lines on (non-zero) or off for string `row`, which is laid out again. */
    int32_t (*SetEvenLines)(void* host, int32_t row, uint32_t even);
    int32_t (*GetEvenLines)(void* host, int32_t row, uint32_t* out);
} QelTextV1;

/* Version 2 adds a language per run of characters, which overrides the string's for them: it
 * travels with the font, as kerning does. SetDefaultLanguage sets the language that new text
 * (InsertText) and ApplyFont give their characters together with the default font (null or ""
 * for none: the string's language); fonts are linked for it, so an ideograph of a Chinese run
 * takes a Chinese face. It is saved as the attribute Language of a MetaFont entry, only when set. */
typedef struct QelTextV2 {
    QelTextV1 V1;
    /* E_INVALIDARG for a tag that is not one (as SetLanguage). */
    int32_t (*SetDefaultLanguage)(void* host, const char* tag);
    /* The run language of character `col` of string `row` into buffer[size] ("" when it has none);
     * E_INVALIDARG (and "" when size > 0) for a bad row or column or a buffer too small. */
    int32_t (*GetCharLanguage)(void* host, int32_t row, int32_t col, char* buffer, uint32_t size);
} QelTextV2;

/* ---- "qel.cache": the images a host's drawing keeps between frames ----
 *
 * Scaled and turned characters (an effect's moves) are drawn from images made for their exact
 * scale and angle. Each TitleHost keeps such images by what they were made from, so a character
 * that comes back with the same scale and angle (in another string, pass or frame) is not made
 * again. The images held stay within a budget (64 MiB unless set); past it the images used
 * longest ago are dropped. A budget of 0 keeps nothing. Pictures are the same at any budget. */
#define QEL_CACHE_EXTENSION "qel.cache"
#define QEL_CACHE_VERSION 1

typedef struct QelCacheStats {
    uint64_t BudgetBytes;
    uint64_t UsedBytes; /* images and their records held now, at most BudgetBytes */
    uint64_t Entries;   /* characters held */
    uint64_t Hits;      /* characters found since the host was made or its caches released */
    uint64_t Misses;    /* characters made */
} QelCacheStats;

typedef struct QelCacheV1 {
    uint32_t StructSize; /* bytes of this table */
    uint32_t Version;    /* QEL_CACHE_VERSION of the library */
    /* Sets the budget in bytes; images beyond it are dropped at once. */
    int32_t (*SetImageCacheBudget)(void* host, uint64_t bytes);
    int32_t (*GetImageCacheStats)(void* host, QelCacheStats* out);
} QelCacheV1;

#if defined(__cplusplus)
static_assert(sizeof(QelCacheStats) == 40, "QelCacheStats");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(QelCacheStats) == 40, "QelCacheStats");
#endif

#if defined(__cplusplus)
static_assert(sizeof(QelPlate) == 100, "QelPlate");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(QelPlate) == 100, "QelPlate");
#endif

#ifdef __cplusplus
}
#endif

#endif
