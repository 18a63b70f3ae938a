#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What a byte-keeping removal cuts out of a file, found while the file is parsed and applied to
// its bytes afterwards. Elements are numbered in the order their start tags stand in the file,
// counting only those the file's bytes hold (not those of entity expansions).
class CutPlan {
public:
    // A name's fingerprint, the same whether it comes from the parser or from the file's bytes
    // in any encoding: only ASCII characters take part.
    class NameHash {
    public:
        void add(std::uint32_t unit) {
            if (unit < 0x80) value = static_cast<std::uint8_t>(value * 31 + unit + 1);
        }
        std::uint8_t value = 0;
    };

    struct Attribute {
        std::uint64_t element;    // the element whose start tag holds it
        std::uint32_t index;      // among the attributes the tag writes, from 0
        std::uint32_t written;    // how many attributes that tag writes
        std::uint8_t hash;        // of its name
    };

    // Called for every element the file holds, in order; selected: it goes, with everything
    // inside it (only the outermost of nested ones is cut).
    void addElement(bool selected, std::uint8_t hash) {
        selectedElements.push_back(selected);
        if (selected) selectedHashes.push_back(hash);
    }
    void addAttribute(const Attribute& attribute) { attributes.push_back(attribute); }

    std::uint64_t elements() const { return selectedElements.size(); }
    bool selected(std::uint64_t element) const {
        return element < selectedElements.size() && selectedElements[element];
    }
    const std::vector<std::uint8_t>& hashesOfSelected() const { return selectedHashes; }
    const std::vector<Attribute>& cutAttributes() const { return attributes; }
    bool empty() const { return selectedHashes.empty() && attributes.empty(); }

private:
    std::vector<bool> selectedElements;
    std::vector<std::uint8_t> selectedHashes;  // of the selected elements, in order
    std::vector<Attribute> attributes;         // in document order
};
