#pragma once
// The configuration file declares ISO-8859-1. Inside both programs text is UTF-8; these
// convert at the file boundary without losing anything.
#include <string>
#include <string_view>

namespace zentarc::configfile {

// Every byte is one ISO-8859-1 character.
std::string latin1ToUtf8(std::string_view latin1);

// Characters up to U+00FF become single bytes; others become numeric character references
// (&#NNNN;) so that an XML reader restores them. Invalid UTF-8 bytes are taken as
// ISO-8859-1 characters, so nothing is dropped.
std::string utf8ToLatin1WithReferences(std::string_view utf8);

// Escapes & < > (and " when inAttribute) as XML character references.
std::string escapeXml(std::string_view text, bool inAttribute);

}  // namespace zentarc::configfile
