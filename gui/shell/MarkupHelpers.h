#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <glib.h>

#include <cstdint>
#include <string>

// Helpers every window shares: colours as text, Pango markup, byte counts, measured text, scaled
// pictures, timeouts. No state. Texts are UTF-8; visible formats go through the GUI's text domain.

// A colour as Kelvrin gives them: 0..255 in each field.
inline GdkColor RgbColour(int red, int green, int blue) {
    return GdkColor{0, static_cast<guint16>(red), static_cast<guint16>(green), static_cast<guint16>(blue)};
}
// "RRGGBB" (upper case) of the low 8 bits of each field, "#" in front when withHash.
std::string ColorToHex(GdkColor colour, bool withHash);
// <span font_desc=".." color=".." underline="..">text</span>, attributes in that order, each only
// when given; the text is not escaped. With checkText, a text that is not plain drops the
// translated family "Arial" from the font. An ill-formed UTF-8 text gives "".
std::string MakeSpanMarkup(const std::string& text, const GdkColor* colour, const char* font, const char* underline,
                           bool checkText);
// A link to url with text (not escaped) in the font; the url is escaped for its attribute.
std::string MakeLinkMarkup(const std::string& text, const std::string& url, const char* font);
// The markup in a span that wraps without hyphens: where Pango breaks a word it would draw a hyphen
// that is not in the text (a recovered code read off the screen would be wrong).
std::string WithoutHyphens(const std::string& markup);
// '&', '<' and '>' as entities.
std::string EscapeMarkup(const std::string& text);
// Every (or only the first) occurrence of pattern, which is never empty, replaced; returns text.
std::string& ReplaceString(std::string& text, const std::string& pattern, const std::string& replacement,
                           bool firstOnly);
// Every byte a printable ASCII character other than a blank; the empty text too.
bool IsPlainText(const std::string& text);
// "1.00 KB" and up for more than 1024 bytes, else "N Byte(s)".
std::string FormatSizeText(uint64_t size);
// The pixel size markup takes, wrapped at wrapWidth pixels (-1: not wrapped).
void MeasureMarkup(const char* markup, int* width, int* height, int wrapWidth);
// The same for a text in a span of the font.
void GetMarkupPixelSize(const char* text, const char* font, int* width, int* height, int wrapWidth);
// The picture from the bytes, else from the file, shrunk to fit maxWidth x maxHeight (never
// enlarged, each side at least one pixel); the caller unrefs it. Null when neither loads.
GdkPixbuf* LoadScaledPixbuf(const void* bytes, size_t length, const std::string& path, int maxWidth, int maxHeight);
bool GetImageFileSize(const std::string& path, int* width, int* height);
// Left and top edges outside, right and bottom edges inside.
bool PointInRect(int x, int y, int left, int top, int width, int height);
bool IsPointInRect(int x, int y, int left, int top, int width, int height);
// Removes the source *id (when set), adds a new timeout and stores its id in *id.
guint ReplaceTimeoutSource(guint* id, guint interval, GSourceFunc function, gpointer data);
