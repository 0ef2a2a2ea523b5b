#include "Compiler.h"

#include "MofError.h"

namespace mof {

Compiler::Compiler(Target& target, Parser::Reader reader)
    : m_target(target), m_parser(std::move(reader)), m_checker(target) {}

void Compiler::compileFile(const std::string& path, const std::string& nameSpace) {
    Unit unit = m_parser.parseFile(path, nameSpace);
    m_checker.check(unit);
    store(unit);
}

void Compiler::compileText(const std::string& fileName, std::string text,
                           const std::string& nameSpace) {
    Unit unit = m_parser.parseText(fileName, std::move(text), nameSpace);
    m_checker.check(unit);
    store(unit);
}

void Compiler::store(Unit& unit) {
    ++m_counts.files;
    m_counts.sources += unit.files.size();
    if (m_progress)
        m_progress(m_counts);
    for (Statement& statement : unit.statements) {
        const Position* position = nullptr;
        std::string what;
        try {
            if (const auto* qualifier = std::get_if<QualifierDeclaration>(&statement)) {
                position = &qualifier->position;
                what = "qualifier " + qualifier->name;
                m_target.putQualifierDeclaration(*qualifier);
                ++m_counts.qualifiers;
            } else if (const auto* declaration = std::get_if<ClassDeclaration>(&statement)) {
                position = &declaration->position;
                what = "class " + declaration->name;
                m_target.putClass(*declaration);
                ++m_counts.classes;
            } else {
                const auto& instance = std::get<InstanceDeclaration>(statement);
                position = &instance.position;
                what = "instance of " + instance.className;
                m_target.putInstance(instance);
                ++m_counts.instances;
            }
        } catch (const StoreError& e) {
            std::string line = lineOf(unit.sources[position->file], position->line);
            const uint32_t column = characterColumn(line, position->column);
            throw MofError(unit.files[position->file], position->line, column,
                           "cannot store " + what + ": " + e.what(), std::move(line));
        }
        // What is stored is needed no more: its memory serves the rest of the run, which for a
        // whole schema keeps the process from growing by the size of its text.
        statement = Statement();
        if (m_progress)
            m_progress(m_counts);
    }
}

} // namespace mof
