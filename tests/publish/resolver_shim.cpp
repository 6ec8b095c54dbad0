// Test helper, preloaded into solar-logger: a host name the test controls.
// Names ending in ".invalid" are not found (at once, no DNS traffic) unless
// the file named by SOLAR_TEST_HOSTS holds a line "NAME ADDRESS" for them; the
// file is read at every lookup, so a test makes the name resolvable later.
#include <dlfcn.h>
#include <netdb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using GetAddrInfo = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);

bool lookUp(const char *name, char *address, size_t size)
{
    const char *path = std::getenv("SOLAR_TEST_HOSTS");
    FILE *f = path ? std::fopen(path, "r") : nullptr;
    if (!f)
        return false;
    char host[256];
    char addr[64];
    bool found = false;
    while (!found && std::fscanf(f, "%255s %63s", host, addr) == 2) {
        if (std::strcmp(host, name) == 0) {
            std::snprintf(address, size, "%s", addr);
            found = true;
        }
    }
    std::fclose(f);
    return found;
}

} // namespace

extern "C" int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                           struct addrinfo **res)
{
    static const auto real = reinterpret_cast<GetAddrInfo>(dlsym(RTLD_NEXT, "getaddrinfo"));
    const size_t length = node ? std::strlen(node) : 0;
    if (length > 8 && std::strcmp(node + length - 8, ".invalid") == 0) {
        char address[64];
        if (!lookUp(node, address, sizeof address))
            return EAI_NONAME;
        return real(address, service, hints, res);
    }
    return real(node, service, hints, res);
}
