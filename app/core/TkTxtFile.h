// The export's text file writer: UTF-16 little-endian with a byte-order mark, every line
// ended by CR LF. The file is opened and closed for every line, so nothing stays open
// between calls and a crash loses at most the line being written.
//
// Thread rules: one object is used by one thread.
#pragma once

#include <string>

class TkTxtFile {
public:
    explicit TkTxtFile(std::string path = std::string()) : filePath(std::move(path)) {}
    virtual ~TkTxtFile() = default;

    // Appends `text` and a line break to the file, creating it (with its byte-order mark) when
    // it does not exist. A line feed inside the text is stored as CR LF too, as a text-mode
    // file does. Returns 1 when the whole line reached the file and it closed cleanly; 0 when
    // the file cannot be opened or any part of the line was not written.
    int WriteLine(const std::u16string& text);

    std::string filePath; // the file's path (UTF-8)
};
