/*
 * A host as a user of the installed package writes it: the public header, found through the
 * CMake package or pkg-config, and the plug-in opened by path at run time. Its module is a
 * register array of its own. Exits non-zero unless everything it checks holds.
 */
#include <dlfcn.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>
#include <vexar_param_interp.h>

/* Sensor registers: device 0x5C at 0x000, device 0x58 at 0x100; 24 bits each. */
static uint32_t registers[512];

static uint32_t* slot(uint16_t device, uint8_t reg, uint32_t length) {
    if (length != 3 || (device != 0x5C && device != 0x58)) return NULL;
    return &registers[(device == 0x58 ? 0x100u : 0u) + reg];
}

static int32_t busRead(void* context, uint16_t device, uint8_t reg, uint8_t* buffer,
                       uint32_t length) {
    uint32_t* r = slot(device, reg, length);
    if (context != registers || r == NULL) return -121;
    for (int i = 0; i < 3; i++) buffer[i] = (uint8_t)(*r >> (8 * i));
    return 0;
}

static int32_t busWrite(void* context, uint16_t device, uint8_t reg, uint8_t* buffer,
                        uint32_t length) {
    uint32_t* r = slot(device, reg, length);
    if (context != registers || r == NULL) return -121;
    *r = (uint32_t)buffer[0] | (uint32_t)buffer[1] << 8 | (uint32_t)buffer[2] << 16;
    return 0;
}

#define SYMBOL(type, name)                                                 \
    type name = NULL;                                                      \
    do {                                                                   \
        void* s = dlsym(plugin, #name);                                    \
        if (s == NULL) return fprintf(stderr, "no export " #name "\n"), 1; \
        memcpy(&name, &s, sizeof s);                                       \
    } while (0)

int main(void) {
    void* plugin = dlopen(VEXAR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (plugin == NULL) return fprintf(stderr, "%s\n", dlerror()), 1;
    SYMBOL(getPluginVersion_fn, getPluginVersion);
    SYMBOL(createInstance_fn, createInstance);
    SYMBOL(initialize_fn, initialize);
    SYMBOL(readBool_fn, readBool);
    SYMBOL(destroyInstance_fn, destroyInstance);

    uint32_t version[3] = {9, 9, 9};
    getPluginVersion(&version[0], &version[1], &version[2]);

    ModuleKey key = {0x451, 0x9100, 0, 0};
    ModuleDescriptor descriptor;
    memset(&descriptor, 0, sizeof descriptor);
    descriptor.headerValue = 0x102;
    descriptor.headerValid = 1;
    descriptor.components[1] = (ComponentIdentity){.type = 0x103, .version = 0x1000, .present = 1};
    descriptor.components[2] = (ComponentIdentity){.type = 0x102, .version = 0x2000, .present = 1};
    void* instance = createInstance();
    int32_t status = initialize(instance, registers, busRead, busWrite, key, descriptor);

    /* Stream enable is bit 0 of sensor register 0x180: read it set, then clear. */
    bool streaming[2] = {false, true};
    registers[0x180] = 0x000001;
    int32_t first = readBool(instance, 14, &streaming[0]);
    registers[0x180] = 0xFFFFFE;
    int32_t second = readBool(instance, 14, &streaming[1]);
    destroyInstance(instance);
    dlclose(plugin);

    /* The package's version, as the build of this program was told it, is the plug-in's. */
    char reported[40];
    snprintf(reported, sizeof reported, "%" PRIu32 ".%" PRIu32 ".%" PRIu32, version[0], version[1],
             version[2]);
    printf("plug-in %s (package %s), initialize %d, stream enable %d/%d then %d/%d\n", reported,
           EXPECTED_VERSION, status, first, streaming[0], second, streaming[1]);
    bool read = status == VEXAR_SUCCESS && first == VEXAR_SUCCESS && second == VEXAR_SUCCESS;
    return strcmp(reported, EXPECTED_VERSION) == 0 && read && streaming[0] && !streaming[1] ? 0 : 1;
}
