#include "CPrinTable.h"

#include <cstring>

namespace SDO {

CPrinTable::CPrinTable() : names{}, refs{} {
    static const char* const kControls[32] = {
        "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>", "<BS>",  "\t",    "\n",
        "<VT>",  "<FF>",  "\r",    "<SO>",  "<SI>",  "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>",
        "<SYN>", "<ETB>", "<CAN>", "<EM>",  "<SUB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>"};
    for (int c = 0; c < 128; ++c) {
        if (c < 32)
            std::strcpy(names[c], kControls[c]);
        else if (c == 127)
            std::strcpy(names[c], "<DEL>");
        else
            names[c][0] = static_cast<char>(c);
        refs[c] = names[c];
    }
}

} // namespace SDO
