#pragma once

// The client library is built with hidden symbols; what a program may use is marked.
#define VEXAR_CLIENT_API __attribute__((visibility("default")))
