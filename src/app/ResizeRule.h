#pragma once
// How the text area follows the main window's size. All sizes are twips, read
// as single-precision numbers; the window's size is its outer size, frame,
// title bar and menu bar included.

struct TextAreaSize
{
    float width = 0;
    float height = 0;
};

// The width always follows (outer width - 100); the height only while the
// window is more than 1500 high (outer height - 700). Otherwise it stays.
constexpr TextAreaSize resizeRule(float outerWidth, float outerHeight, TextAreaSize current)
{
    TextAreaSize next = current;
    next.width = outerWidth - 100.0f;
    if (outerHeight > 1500.0f)
        next.height = outerHeight - 700.0f;
    return next;
}
