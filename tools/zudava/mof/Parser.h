// Reads MOF files into Units: the syntax only, with #pragma include followed and the namespace
// and put flags of each statement recorded. Names are checked by the Checker, not here.
#pragma once

#include "Model.h"

#include <functional>
#include <string>
#include <string_view>

namespace mof {

class Lexer;

class Parser {
public:
    // Reads a whole file into contents; on failure returns false and says why in error.
    using Reader =
        std::function<bool(const std::string& path, std::string& contents, std::string& error)>;

    // The files are read from disk unless a reader is given.
    explicit Parser(Reader reader = Reader());

    // Parses a file and what it includes. Throws MofError; nothing is kept from a failed parse.
    Unit parseFile(const std::string& path, const std::string& nameSpace);
    // The same for a text in memory named fileName in messages; includes are read relative to
    // the directory part of fileName.
    Unit parseText(const std::string& fileName, std::string text, const std::string& nameSpace);

    // Reads files from disk (binary), for the default reader.
    static bool readFile(const std::string& path, std::string& contents, std::string& error);
    // Turns a file's bytes into UTF-8: a UTF-8 byte order mark is dropped, UTF-16 with a byte
    // order mark (either order) is converted.
    static std::string toUtf8(std::string bytes);

private:
    struct FileState;

    void parseSource(Unit& unit, uint32_t fileIndex, FileState& state, int depth);
    void parsePragma(Lexer& lexer, Unit& unit, FileState& state, int depth);
    void parseQualifierDeclaration(Lexer& lexer, Unit& unit, const FileState& state,
                                   uint32_t fileIndex);
    void parseClass(Lexer& lexer, Unit& unit, const FileState& state, uint32_t fileIndex,
                    QualifierList qualifiers, Position position);
    InstanceDeclaration parseInstance(Lexer& lexer, const FileState& state, uint32_t fileIndex,
                                      QualifierList qualifiers, Position position);
    void parseFeature(Lexer& lexer, ClassDeclaration& owner, uint32_t fileIndex);
    QualifierList parseQualifierList(Lexer& lexer, uint32_t fileIndex);
    std::vector<FlavorWord> parseFlavorWords(Lexer& lexer, bool parenthesised);
    Value parseValue(Lexer& lexer, const FileState& state, uint32_t fileIndex);
    Value parseScalar(Lexer& lexer, const FileState& state, uint32_t fileIndex);

    Reader m_reader;
    int m_embedding = 0; // how deep the embedded instance being read lies
};

} // namespace mof
