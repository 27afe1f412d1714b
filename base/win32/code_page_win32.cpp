#include "base/win32/code_page_win32.h"

#include <windows.h>

#include "base/code_page.h"

namespace su {

void InstallSystemLeadBytes() {
  // The ANSI code page is fixed for the life of the process, so one look at every byte is enough.
  LeadByteTable table{};
  for (unsigned byte = 0; byte < table.size(); ++byte) table[byte] = IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
  InstallLeadBytes(table);
}

}  // namespace su
