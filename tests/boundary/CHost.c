/*
 * A host written in C: it sees nothing of the plug-in but the public header and the shared
 * library, which it opens at run time. Its module is a small register array of its own.
 * Exits non-zero when any check fails.
 */
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "vexar_param_interp.h"

_Static_assert(offsetof(ModuleDescriptor, components) == 16, "descriptor components at 16");
_Static_assert(offsetof(ComponentIdentity, present) == 16, "present flag at 16");

/* The two sensor banks, 0x5C then 0x58, 24 bits per register; and a count of writes. */
typedef struct TinyModule {
    uint32_t registers[512];
    unsigned writes;
} TinyModule;

static int32_t tinyRead(void* context, uint16_t device, uint8_t reg, uint8_t* buffer,
                        uint32_t length) {
    TinyModule* module = (TinyModule*)context;
    if (length != 3 || (device != 0x5C && device != 0x58)) {
        return -121;
    }
    uint32_t value = module->registers[(device == 0x58 ? 0x100u : 0u) + reg];
    buffer[0] = (uint8_t)value;
    buffer[1] = (uint8_t)(value >> 8);
    buffer[2] = (uint8_t)(value >> 16);
    return 0;
}

static int32_t tinyWrite(void* context, uint16_t device, uint8_t reg, uint8_t* buffer,
                         uint32_t length) {
    TinyModule* module = (TinyModule*)context;
    module->writes++;
    if (length == 3 && (device == 0x5C || device == 0x58)) {
        module->registers[(device == 0x58 ? 0x100u : 0u) + reg] =
            (uint32_t)buffer[0] | (uint32_t)buffer[1] << 8 | (uint32_t)buffer[2] << 16;
    }
    return 0;
}

static int passed;
static int failed;

static void check(int condition, const char* what) {
    if (condition) {
        passed++;
    } else {
        failed++;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

/* dlsym hands out an object pointer; ISO C has no cast from it to a function pointer. */
static int resolve(void* library, const char* name, void* function, size_t size) {
    void* symbol = dlsym(library, name);
    if (symbol == NULL) {
        fprintf(stderr, "missing export %s\n", name);
        return 0;
    }
    memcpy(function, &symbol, size);
    return 1;
}
#define RESOLVE(name) resolve(library, #name, &name##_, sizeof name##_)

static ModuleKey servedKey(void) {
    ModuleKey key = {0x451, 0x9100, 0, 0};
    return key;
}

static ModuleDescriptor servedDescriptor(void) {
    ModuleDescriptor descriptor;
    memset(&descriptor, 0, sizeof descriptor);
    descriptor.headerValue = 0x102;
    descriptor.headerValid = 1;
    descriptor.components[1].type = 0x103;
    descriptor.components[1].version = 0x1000;
    descriptor.components[1].present = 1;
    descriptor.components[2].type = 0x102;
    descriptor.components[2].version = 0x2000;
    descriptor.components[2].present = 1;
    return descriptor;
}

int main(void) {
    void* library = dlopen(VEXAR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "cannot open %s: %s\n", VEXAR_PLUGIN_PATH, dlerror());
        return 1;
    }
    getImplType_fn getImplType_;
    createInstance_fn createInstance_;
    initialize_fn initialize_;
    dispose_fn dispose_;
    destroyInstance_fn destroyInstance_;
    getUnitType_fn getUnitType_;
    getLastError_fn getLastError_;
    writeBool_fn writeBool_;
    if (!(RESOLVE(getImplType) && RESOLVE(createInstance) && RESOLVE(initialize) &&
          RESOLVE(dispose) && RESOLVE(destroyInstance) && RESOLVE(getUnitType) &&
          RESOLVE(getLastError) && RESOLVE(writeBool))) {
        dlclose(library);
        return 1;
    }

    check(getImplType_() == 9, "implementation type 9");

    TinyModule module;
    memset(&module, 0, sizeof module);
    void* instance = createInstance_();
    if (instance == NULL) {
        fprintf(stderr, "createInstance gave no instance\n");
        dlclose(library);
        return 1;
    }

    /* A refused module first: its text shows the key and descriptor crossed by value intact. */
    ModuleKey otherKey = servedKey();
    otherKey.word0 = 0x452;
    check(initialize_(instance, &module, tinyRead, tinyWrite, otherKey, servedDescriptor()) ==
              VEXAR_NOT_SUPPORTED,
          "unserved key refused");
    int32_t size = 0;
    check(getLastError_(instance, NULL, &size) == VEXAR_BUFFER_TOO_SMALL, "size query");
    char text[128];
    const char* refusal =
        "parameters not found for [ 0x452, 0x9100, 0 ] with [ moduleType: 258, hwVersion: 8192 ]";
    check(size == (int32_t)strlen(refusal) + 1, "needed size is the text plus its NUL");
    size = (int32_t)sizeof text;
    check(getLastError_(instance, text, &size) == VEXAR_SUCCESS && strcmp(text, refusal) == 0,
          "refusal text");

    /* The served module, by value through the C calling convention. */
    check(initialize_(instance, &module, tinyRead, tinyWrite, servedKey(), servedDescriptor()) ==
              VEXAR_SUCCESS,
          "served module initialises");
    uint32_t unit = 0;
    check(getUnitType_(instance, 5, &unit) == VEXAR_SUCCESS && unit == 2,
          "integration time is in milliseconds");

    check(writeBool_(instance, 14, true) == VEXAR_SUCCESS && module.writes > 0,
          "the stream switch goes out through the host's write callback");

    dispose_(instance);
    check(getUnitType_(instance, 5, &unit) == VEXAR_NOT_SUPPORTED, "nothing left after dispose");
    destroyInstance_(instance);
    dlclose(library);

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
