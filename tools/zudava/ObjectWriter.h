// Writes WMI objects (classes or instances) to a stream in one of the tool's formats:
// - table: one row per object, a column per property (a __CLASS column first when the objects
//   are of more than one class); column widths come from the first rows, so that an enumeration
//   of any size streams;
// - mof: the MOF text WMI gives for each object (IWbemClassObject::GetObjectText);
// - json: an object per WMI object, with __CLASS, __PATH and the properties by CIM type (64-bit
//   integers as numbers, datetimes and references as strings, embedded objects as objects);
//   a list of objects is a JSON array;
// - xml: the CIM-XML text of WmiObject::toXml, one object a line.
#pragma once

#include "Commands.h"

#include <zudava/zudava.h>

#include <memory>
#include <ostream>
#include <string>

namespace tool {

class ObjectWriter {
public:
    // `list` is true for a list of objects, false for a single one (no JSON array around it).
    static std::unique_ptr<ObjectWriter> create(Format format, std::ostream& out, bool list);

    virtual ~ObjectWriter() = default;
    virtual void write(const DEZE::WmiObject& object) = 0;
    // Writes what is still held back (table rows, the end of a JSON array).
    virtual void finish() = 0;

protected:
    explicit ObjectWriter(std::ostream& out) : m_out(out) {}
    std::ostream& m_out;
};

// A JSON string for wide text: UTF-8, with quotes, backslashes and control characters escaped,
// and a lone surrogate as its \u escape.
std::string jsonString(const std::wstring& text);

// A value as the table shows it: the library's text form, but reals in their shortest exact
// form and line breaks as escapes; nothing for null.
std::string valueText(const VARIANT& value, CIMTYPE type);
std::string realText(double number, bool single);

} // namespace tool
