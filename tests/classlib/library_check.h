/* The rules the machine imposes on the class library, checked on its class files. Each check
   returns one line per broken rule; an empty list means the library keeps the rule. */
#ifndef PUX_TESTS_CLASSLIB_LIBRARY_CHECK_H
#define PUX_TESTS_CLASSLIB_LIBRARY_CHECK_H

#include <map>
#include <string>
#include <vector>

#include "classfile.h"

namespace classlib {

using Library = std::map<std::string, ClassFile>;  // keyed by internal name (java/lang/Object)
using Problems = std::vector<std::string>;

// Reads build/classlib.zip (or another archive) into a library; false with a reason on failure.
bool LoadLibrary(const std::string& zipPath, Library& lib, std::string& error);

// Class files of version 45.3, one per archive entry named after the class.
Problems CheckVersions(const Library& lib);

// Instance words the machine reads or writes by position, and classes that must have none.
Problems CheckLayouts(const Library& lib);

// Members the machine finds by name and descriptor, with the right kind.
Problems CheckMembersByName(const Library& lib);

// Every native method matches a registered row (name, descriptor, static or not); methods
// that must be native are; methods that must be Java are not.
Problems CheckNatives(const Library& lib);

// Every class created by new, anewarray or multianewarray in library code exists.
Problems CheckCreatedClassesExist(const Library& lib);

// Class-file patterns the machine's parser and start-up cannot take yet, frame limits, and
// names that must not exist.
Problems CheckParserPatterns(const Library& lib);

// All of the above.
Problems CheckAll(const Library& lib);

}  // namespace classlib

#endif
