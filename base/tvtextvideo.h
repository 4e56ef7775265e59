// The character-cell screen the console and the dialogs draw on.
#pragma once

#include <cstdint>
#include <memory>

struct tvCell {
    unsigned char ch;
    unsigned char attr;
};

// The screen model: cursor, size, current attribute and update nesting. Every
// drawing operation does nothing in quiet output mode. On its own it shows
// nothing, which makes it the silent console.
class tvTextVideo {
public:
    tvTextVideo() = default;
    tvTextVideo(const tvTextVideo&) = delete;
    tvTextVideo& operator=(const tvTextVideo&) = delete;

    // Declared in the order of the virtual table the dialogs were built on.
    virtual void MoveCursor(int x, int y);
    virtual void RestoreMode();
    virtual void OnEndUpdate();
    virtual void OnBeginUpdate();
    virtual ~tvTextVideo();
    // Zero-filled room for a w x h region and its border; null when w or h is
    // negative or no memory is left.
    virtual std::unique_ptr<tvCell[]> AllocCells(int w, int h);
    virtual int GetX() const;
    virtual int GetY() const;
    virtual int GetHeight() const;
    virtual int GetWidth() const;
    virtual int GetAttribute() const;
    virtual void SetAttribute(int a);
    virtual void SetForeground(int v);
    virtual void SetBackground(int v);
    virtual void SetX(int x);
    virtual void SetY(int y);
    virtual void GotoXY(int x, int y);
    virtual void PutChar(int ch, int attr);
    virtual void PutCharAt(int ch, int x, int y, int attr);
    virtual void PutChars(int ch, int count, int attr);
    virtual void PutCharsAt(int ch, int x, int y, int count, int attr);
    virtual void PutString(const char* str, int attr);
    virtual void PutStringAt(const char* str, int x, int y, int attr);
    // The cell as character | attribute << 8; 0 in quiet mode.
    virtual std::uint16_t GetCell(int x, int y);
    virtual void ReadCells(int x, int y, int w, int h, tvCell* buf);
    virtual void WriteCells(int x, int y, int w, int h, const tvCell* buf);
    virtual void EndUpdate();
    virtual void BeginUpdate();
    virtual void Scroll(int x, int y, int w, int h, int lines, int attr);
    virtual void OnClose();
    // Text with colour escapes (byte 1, then the attribute of what follows).
    virtual void WriteText(const char* text, int attr);
    virtual void PrintText(const char* text, int attr);
    virtual void NewLine(int n, int attr);
    virtual void ClearLine();
    virtual void SetHeight(int h);
    virtual void WriteRow(const tvCell* buf, int w);
    virtual void WriteRows(const tvCell* buf, int w, int h);

protected:
    int x_ = 0;
    int y_ = 0;
    int width_ = 0;
    int height_ = 0;
    int attribute_ = 0;
    int updateDepth_ = 0;
    int savedMode_ = 0;
    int lineFlag_ = 0;
};
