/*
 * A host written in C as a user of the package writes it: it sees nothing of the plug-in but the
 * public header (from the source tree, or found through the installed CMake package or
 * pkg-config) and the shared library, which it opens at run time. Its module is a register
 * array of its own. Exits non-zero when any check fails.
 */
#include <dlfcn.h>
#include <inttypes.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <vexar_param_interp.h>

/* A C compiler lays the descriptor out as the plug-in was built with it. */
typedef char componentsAt16[offsetof(ModuleDescriptor, components) == 16 ? 1 : -1];
typedef char presentAt16[offsetof(ComponentIdentity, present) == 16 ? 1 : -1];

/* Sensor registers: device 0x5C at 0x000, device 0x58 at 0x100; 24 bits each. Reads of
   anything else fail as a device that does not answer. */
static uint32_t registers[512];
static unsigned writes;

static uint32_t* slot(void* context, uint16_t device, uint8_t reg, uint32_t length) {
    if (context != registers || length != 3 || (device != 0x5C && device != 0x58)) return NULL;
    return &registers[(device == 0x58 ? 0x100u : 0u) + reg];
}

static int32_t busRead(void* context, uint16_t device, uint8_t reg, uint8_t* buffer,
                       uint32_t length) {
    uint32_t* r = slot(context, device, reg, length);
    if (r == NULL) return -121;
    for (int i = 0; i < 3; i++) buffer[i] = (uint8_t)(*r >> (8 * i));
    return 0;
}

static int32_t busWrite(void* context, uint16_t device, uint8_t reg, uint8_t* buffer,
                        uint32_t length) {
    /* The one-byte devices (the illumination voltages) take their byte and keep nothing. */
    uint32_t* r = slot(context, device, reg, length);
    writes++;
    if (r != NULL) *r = (uint32_t)buffer[0] | (uint32_t)buffer[1] << 8 | (uint32_t)buffer[2] << 16;
    return context == registers ? 0 : -121;
}

static int failed;

static void check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        failed = 1;
    }
}

/* dlsym hands out an object pointer; ISO C has no cast from it to a function pointer. */
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
    SYMBOL(getImplType_fn, getImplType);
    SYMBOL(createInstance_fn, createInstance);
    SYMBOL(initialize_fn, initialize);
    SYMBOL(getLastError_fn, getLastError);
    SYMBOL(getUnitType_fn, getUnitType);
    SYMBOL(readBool_fn, readBool);
    SYMBOL(writeBool_fn, writeBool);
    SYMBOL(dispose_fn, dispose);
    SYMBOL(destroyInstance_fn, destroyInstance);

    /* The package's version, as the build of this program was told it, is the plug-in's. */
    uint32_t version[3] = {9, 9, 9};
    getPluginVersion(&version[0], &version[1], &version[2]);
    char reported[40];
    snprintf(reported, sizeof reported, "%" PRIu32 ".%" PRIu32 ".%" PRIu32, version[0], version[1],
             version[2]);
    check(strcmp(reported, EXPECTED_VERSION) == 0, "plug-in version");
    check(getImplType() == 9, "implementation type 9");

    ModuleKey key = {0x451, 0x9100, 0, 0};
    ModuleDescriptor descriptor;
    memset(&descriptor, 0, sizeof descriptor);
    descriptor.headerValue = 0x102;
    descriptor.headerValid = 1;
    descriptor.components[1] = (ComponentIdentity){.type = 0x103, .version = 0x1000, .present = 1};
    descriptor.components[2] = (ComponentIdentity){.type = 0x102, .version = 0x2000, .present = 1};
    void* instance = createInstance();
    if (instance == NULL) return fprintf(stderr, "createInstance gave no instance\n"), 1;

    /* A refused module first: its text shows the key and descriptor crossed by value intact. */
    ModuleKey other = key;
    other.word0 = 0x452;
    check(initialize(instance, registers, busRead, busWrite, other, descriptor) ==
              VEXAR_NOT_SUPPORTED,
          "unserved key refused");
    const char* refusal =
        "parameters not found for [ 0x452, 0x9100, 0 ] with [ moduleType: 258, hwVersion: 8192 ]";
    int32_t size = 0;
    check(getLastError(instance, NULL, &size) == VEXAR_BUFFER_TOO_SMALL &&
              size == (int32_t)strlen(refusal) + 1,
          "the size query needs the text and its NUL");
    char text[128];
    size = (int32_t)sizeof text;
    check(getLastError(instance, text, &size) == VEXAR_SUCCESS && strcmp(text, refusal) == 0,
          "refusal text");

    check(initialize(instance, registers, busRead, busWrite, key, descriptor) == VEXAR_SUCCESS,
          "served module initialises");
    uint32_t unit = 0;
    check(getUnitType(instance, 5, &unit) == VEXAR_SUCCESS && unit == 2,
          "integration time is in milliseconds");
    /* Stream enable is bit 0 of sensor register 0x180: read set, then clear, then written. */
    bool streaming[2] = {false, true};
    registers[0x180] = 0x000001;
    check(readBool(instance, 14, &streaming[0]) == VEXAR_SUCCESS && streaming[0], "stream on");
    registers[0x180] = 0xFFFFFE;
    check(readBool(instance, 14, &streaming[1]) == VEXAR_SUCCESS && !streaming[1], "stream off");
    writes = 0;
    check(writeBool(instance, 14, true) == VEXAR_SUCCESS && writes > 0 &&
              registers[0x180] == 0xFFFFFF,
          "the stream switch goes out through the host's write callback");

    dispose(instance);
    check(getUnitType(instance, 5, &unit) == VEXAR_NOT_SUPPORTED, "nothing left after dispose");
    destroyInstance(instance);
    dlclose(plugin);
    printf("plug-in %s (package %s): %s\n", reported, EXPECTED_VERSION, failed ? "FAILED" : "ok");
    return failed ? 1 : 0;
}
