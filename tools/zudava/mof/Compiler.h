// One run of the MOF compiler: each file is parsed and checked whole, and stored only when both
// succeed, so a file with an error stores nothing. Files given later see what earlier files
// declared.
#pragma once

#include "Checker.h"
#include "Parser.h"
#include "Target.h"

#include <functional>
#include <string>

namespace mof {

class Compiler {
public:
    struct Counts {
        size_t files = 0;   // given on the command line
        size_t sources = 0; // read, includes counted
        size_t qualifiers = 0;
        size_t classes = 0;
        size_t instances = 0;
    };
    // Called after each stored object (and once per file before storing), for progress.
    using Progress = std::function<void(const Counts&)>;

    explicit Compiler(Target& target, Parser::Reader reader = Parser::Reader());

    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Compiles one file into the namespace (unless its pragmas say another). Throws MofError for
    // a fault in the text and for a write that the store refused.
    void compileFile(const std::string& path, const std::string& nameSpace);
    void compileText(const std::string& fileName, std::string text, const std::string& nameSpace);

    const Counts& counts() const { return m_counts; }

private:
    void store(Unit& unit);

    Target& m_target;
    Parser m_parser;
    Checker m_checker;
    Counts m_counts;
    Progress m_progress;
};

} // namespace mof
