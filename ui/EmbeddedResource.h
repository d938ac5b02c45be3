#pragma once
// A file packed into the executable at build time (see pellumo_embed_skin in
// ui/cmake/EmbedSkin.cmake). Declare the accessor the build generates with
//   PELLUMO_DECLARE_EMBEDDED(pellumo_test_skin)
// and hand it to the framework:
//   auto skin = pellumo_test_skin();
//   CPaintManagerUI::SetResourceZip(skin.data, skin.size);
namespace ui {

struct EmbeddedResource {
    const unsigned char* data;
    unsigned size;
};

} // namespace ui

#define PELLUMO_DECLARE_EMBEDDED(name) ui::EmbeddedResource name();
