#include "app/StartupExclusion.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace vellox {

#ifdef _WIN32

std::vector<TopLevelWindow> ListTopLevelWindows(const char*) { return {}; }

bool TopLevelWindowExists(std::string_view className, std::string_view title, const char*) {
    const std::string c(className);
    const std::string t(title);
    return FindWindowA(c.c_str(), t.c_str()) != nullptr;
}

#else

namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// xcb replies are malloc'ed.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t InternAtom(xcb_connection_t* c, std::string_view name) {
    const auto cookie = xcb_intern_atom(c, /*only_if_exists=*/1,
                                        static_cast<std::uint16_t>(name.size()), name.data());
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

struct Atoms {
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
};

// The property's bytes; nullopt-like `found` false when the window lacks it.
struct Property {
    bool found = false;
    std::string bytes;
};

Property ReadProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t atom) {
    Property result;
    if (atom == XCB_ATOM_NONE) return result;
    const auto cookie = xcb_get_property(c, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return result;
    result.found = true;
    const int length = xcb_get_property_value_length(reply.get());
    if (reply->format == 8 && length > 0) {
        result.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                            static_cast<std::size_t>(length));
    }
    return result;
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, xcb_window_t w) {
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!tree) return {};
    const xcb_window_t* first = xcb_query_tree_children(tree.get());
    return {first, first + xcb_query_tree_children_length(tree.get())};
}

// Text up to the first NUL (or the whole value when there is none).
std::string FirstString(const std::string& bytes, std::size_t from = 0) {
    if (from >= bytes.size()) return {};
    const std::size_t end = bytes.find('\0', from);
    return bytes.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

void Describe(xcb_connection_t* c, const Atoms& atoms, xcb_window_t w, const Property& wmClass,
              std::vector<TopLevelWindow>& out) {
    TopLevelWindow window;
    window.id = w;
    // WM_CLASS holds "instance\0class\0".
    const std::size_t instanceEnd = wmClass.bytes.find('\0');
    if (instanceEnd != std::string::npos) {
        window.className = FirstString(wmClass.bytes, instanceEnd + 1);
    }
    Property name = ReadProperty(c, w, atoms.netWmName);
    if (!name.found) name = ReadProperty(c, w, XCB_ATOM_WM_NAME);
    window.title = FirstString(name.bytes);
    out.push_back(std::move(window));
}

// A client window is the one carrying WM_CLASS (or WM_STATE, set by a window manager). A
// reparenting window manager puts it a level or two below the frame it maps on the root.
// Whether anything is mapped does not matter: a hidden window counts, and so does a minimised
// one, whose frame and client the window manager has unmapped.
void Collect(xcb_connection_t* c, const Atoms& atoms, xcb_window_t w, int depth,
             std::vector<TopLevelWindow>& out) {
    const Property wmClass = ReadProperty(c, w, XCB_ATOM_WM_CLASS);
    if (wmClass.found || ReadProperty(c, w, atoms.wmState).found) {
        Describe(c, atoms, w, wmClass, out);
        return;
    }
    if (depth == 0) return;
    for (xcb_window_t child : Children(c, w)) Collect(c, atoms, child, depth - 1, out);
}

}  // namespace

std::vector<TopLevelWindow> ListTopLevelWindows(const char* display) {
    std::vector<TopLevelWindow> windows;
    Connection c(xcb_connect(display, nullptr));
    if (!c || xcb_connection_has_error(c.get())) return windows;

    Atoms atoms;
    atoms.netWmName = InternAtom(c.get(), "_NET_WM_NAME");
    atoms.wmState = InternAtom(c.get(), "WM_STATE");

    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c.get())); it.rem; xcb_screen_next(&it)) {
        for (xcb_window_t top : Children(c.get(), it.data->root)) {
            Collect(c.get(), atoms, top, 2, windows);
        }
    }
    return windows;
}

bool TopLevelWindowExists(std::string_view className, std::string_view title, const char* display) {
    for (const TopLevelWindow& w : ListTopLevelWindows(display)) {
        if (w.className == className && w.title == title) return true;
    }
    return false;
}

#endif

bool ExclusionWindowExists() { return TopLevelWindowExists(kExclusionClass, kExclusionTitle); }

}  // namespace vellox
