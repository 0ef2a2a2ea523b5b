// What the MOF compiler's tests share: a target that keeps what it is given, a scratch folder
// outside the checkout, and short ways to compile a text or catch its error.
#pragma once

#include "mof/Compiler.h"
#include "mof/MofError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace mof_test {

// Keeps every declaration in memory, in the order it came.
class MemoryTarget : public mof::Target {
public:
    std::shared_ptr<const mof::ClassShape> findClass(const std::string& nameSpace,
                                                     const std::string& name) override {
        const auto found = existing.find(mof::lowered(nameSpace + "\n" + name));
        return found == existing.end() ? nullptr : found->second;
    }
    void putQualifierDeclaration(const mof::QualifierDeclaration& declaration) override {
        qualifiers.push_back(declaration);
    }
    void putClass(const mof::ClassDeclaration& declaration) override {
        if (refuse == declaration.name)
            throw mof::StoreError("WBEM_E_FAILED (0x80041001)", 0x80041001u);
        classes.push_back(declaration);
    }
    void putInstance(const mof::InstanceDeclaration& declaration) override {
        instances.push_back(declaration);
    }

    const mof::ClassDeclaration* findStored(const std::string& name) const {
        for (const mof::ClassDeclaration& declaration : classes)
            if (mof::equalsNoCase(declaration.name, name))
                return &declaration;
        return nullptr;
    }

    // Classes the store holds before the run, by "namespace\nname" in lower case.
    std::map<std::string, std::shared_ptr<const mof::ClassShape>> existing;
    std::string refuse; // a class name whose put fails
    std::vector<mof::QualifierDeclaration> qualifiers;
    std::vector<mof::ClassDeclaration> classes;
    std::vector<mof::InstanceDeclaration> instances;
};

// A fresh folder under the system's temporary folder, removed with its files afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        for (;;) {
            m_path =
                std::filesystem::temp_directory_path() / ("zudava-mof-" + std::to_string(random()));
            if (std::filesystem::create_directory(m_path))
                return;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string write(const std::string& name, const std::string& text) const {
        const std::filesystem::path file = m_path / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file.string();
    }

private:
    std::filesystem::path m_path;
};

// Compiles a text named "test.mof" into root\cimv2; returns the error's what(), or "" on success.
inline std::string compileError(const std::string& text, MemoryTarget& target) {
    mof::Compiler compiler(target);
    try {
        compiler.compileText("test.mof", text, "root\\cimv2");
    } catch (const mof::MofError& e) {
        return e.what();
    }
    return std::string();
}

inline std::string compileError(const std::string& text) {
    MemoryTarget target;
    return compileError(text, target);
}

// Parses only.
inline std::string parseError(const std::string& text) {
    try {
        mof::Parser().parseText("test.mof", text, "root\\cimv2");
    } catch (const mof::MofError& e) {
        return e.what();
    }
    return std::string();
}

// The value of the single property of the single class in text (property P of class C).
inline mof::Value defaultOf(const std::string& type, const std::string& literal) {
    MemoryTarget target;
    mof::Compiler compiler(target);
    compiler.compileText("test.mof", "class C { " + type + " P = " + literal + "; };",
                         "root\\cimv2");
    return target.classes.at(0).properties.at(0).value;
}

} // namespace mof_test
