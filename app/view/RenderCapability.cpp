#include "app/view/RenderCapability.h"

#include "platform/DebugOutput.h"

#include <SFML/Graphics/Texture.hpp>

int checkTextureSize(unsigned maximumTextureSize)
{
    if (maximumTextureSize >= kRequiredTextureSize)
        return 0;
    platform::ConsolePrintf("Err: Maximum Texture Size: %d\n", int(maximumTextureSize));
    return kRenderInitError;
}

int checkRenderCapability() { return checkTextureSize(sf::Texture::getMaximumSize()); }
