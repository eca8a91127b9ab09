// Load and save: slots 42-47. (Placeholder bodies until the persistence work lands.)
#include "host/TitleHost.h"

namespace qel {

HRESULT TitleHost::LoadTitleFromBuffer(const char16_t*) noexcept { return E_FAIL; }
HRESULT TitleHost::SaveTitleToBuffer(char16_t*, uint32_t*) noexcept { return E_FAIL; }
HRESULT TitleHost::LoadTitleFromFile(const char16_t*) noexcept { return E_FAIL; }
HRESULT TitleHost::SaveTitleToFile(const char16_t*) noexcept { return E_FAIL; }
HRESULT TitleHost::LoadTitleFromNode(pugi::xml_node*) noexcept { return E_FAIL; }
HRESULT TitleHost::SaveTitleToNode(pugi::xml_node*) noexcept { return E_FAIL; }

}  // namespace qel
