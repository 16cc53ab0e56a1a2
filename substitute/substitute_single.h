// One substitution from the command line: the character `source` takes
// over the value bytes the table gives for `replacement`.
#ifndef VORN_SUBSTITUTE_SUBSTITUTE_SINGLE_H_
#define VORN_SUBSTITUTE_SUBSTITUTE_SINGLE_H_

#include <cstdint>
#include <string>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "platform/env.h"

namespace vorn {

// The console line of a substitution: both codes in upper-case hex with at
// least four digits, joined by a right double arrow in code page 932.
std::string CodeLine(std::uint32_t source, std::uint32_t replacement);

// The single rewrite pass, in place: every record keyed `source` gets the
// store's value bytes of `replacement`.
void SingleRewritePass(ByteBuffer& table, std::uint32_t source, std::uint32_t replacement,
                       const SparseEUC& store);

// Loads the table, prints the code line, reads the table again, rewrites
// it and writes the customised copy.  The output is opened only once the
// table has been read whole, so it may name the table itself.
Outcome SubstituteSingle(Env& env, const TablePaths& paths, const std::string& source_text,
                         const std::string& replacement_text, const std::string& output_name,
                         bool show_table, IoError* error);

}  // namespace vorn

#endif  // VORN_SUBSTITUTE_SUBSTITUTE_SINGLE_H_
