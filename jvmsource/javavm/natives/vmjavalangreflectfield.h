/* Reflection objects: java.lang.reflect.Field, Method and Constructor as the machine
   makes and reads them, the value conversions all reflection shares, and the class
   reflection info that builds the member arrays of a class.

   The machine writes and reads the objects' words by position. Two class libraries are
   served: the 1.1 library (version word 1, the 116 layouts) and the 1.2 and later one
   (every other version word, the 122 layouts, with java.lang.reflect.AccessibleObject's
   override word first and a modifiers word last).

   Nothing a reflection object holds is trusted: Java code can make one without a
   constructor, or (with override) rewrite its private words. Every accessor checks the
   object against its layout, its class word against the class list, and its slot against
   the class's own member arrays; a word that fails gives NULL (0), and the natives raise
   IllegalArgumentException for it. The member's own record decides everything else (a
   field's type and class come from its VMDataMember, never from the object). The
   accessors never allocate. */
#ifndef PUX_VMJAVALANGREFLECTFIELD_H
#define PUX_VMJAVALANGREFLECTFIELD_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmobject.h"
#include "vmstatus.h"

/* Where each word of a reflection object lies in one library's layout; -1 for a word
   the layout lacks. */
struct VMReflectLayout {
  uint32_t words;
  int accessWord;
  int classWord;
  int slotWord;
  int nameWord;
  int typeWord;  /* a field's type, a method's return type */
  int parameterTypesWord;
  int exceptionTypesWord;
  int modifiersWord;
  VMword refMask;  /* the words that hold references */
};

/* What the three kinds share: the layout of a version, the layout test and the checked
   reads of the class and slot words. */
class VMJavaLangReflectMember : public VMObject {
 public:
  enum Kind { KindField = 0, KindMethod = 1, KindConstructor = 2 };
  /* The version word selects the 116 layouts for 1 and the 122 layouts for every other
     value. */
  static const VMReflectLayout& LayoutOf(Kind kind, unsigned long version);
  /* Whether instances of cls are exactly the layout's words with references where the
     layout has them. */
  static bool LayoutFits(VMLoadableClass* cls, const VMReflectLayout& layout);
  /* The class-list class of a kind. */
  static VMLoadableClass* ClassOf(VMNameSpace* ns, Kind kind);
  /* Checks every reflection class of the name space against the layouts of its
     version; writes one line to the host log for each that does not fit. True when all
     fit. Creation refuses a kind whose class does not fit, whatever this answered. */
  static bool CheckLayouts(VMNameSpace* ns);

  /* The object as a reflection object of the kind: its class is the kind's class of its
     name space, and the class fits the version's layout. NULL otherwise. */
  static const VMReflectLayout* Check(VMObject* object, Kind kind, unsigned long version);
  /* The class word when it names a prepared class of the object's name space; NULL
     otherwise. */
  VMLoadableClass* CheckedClass(const VMReflectLayout& layout);
  /* The override flag of a reflection object (the boolean field "override" of
     java/lang/reflect/AccessibleObject): false below library version 2, and false
     whenever it cannot be read (a library without the field, or no id for want of
     memory), with nothing left pending. */
  static bool ReadOverride(JNIEnv* env, jobject handle, unsigned long version);
  /* Whether the Java method that called the reflective native may reach member on an
     object of class target: a public member of a public class for everyone; a protected
     or package member, or a member of a package class, from the same package of the same
     loader; a protected one also from a subclass, but only on an object of that
     subclass's own kind (target the caller's class or one below it); a private one from
     its own class. target is the receiver's class for an instance member (NULL when
     there is no receiver: the call fails on that by itself), NULL for a static member,
     and the member's class for a constructor, which a subclass elsewhere thus never
     reaches. Override (a 1.2-style library's setAccessible) reaches every member; a call
     with no Java caller (from the host) is the host's own. */
  static bool MayReach(JNIEnv* env, VMMember* member, bool override, VMClass* target);
  jint RawWord(int word) const { return word >= 0 ? (jint)GetWord((uint32_t)word) : 0; }
  void SetRawWord(int word, VMword value) {
    if (word >= 0) SetWord((uint32_t)word, value);
  }

 protected:
  /* A new object of the kind's class and layout, in the env's machine, held by a new
     local reference of env's thread (so that nothing it holds can be collected while the
     caller fills it). NULL with an exception pending: OutOfMemoryError, or
     InternalError when the library's class does not fit the layout. */
  static VMJavaLangReflectMember* Create(JNIEnv* env, Kind kind, const VMReflectLayout** layout);
};

/* ---- the layout classes: the words of one library's objects ---- */
#define PUX_REFLECT_LAYOUT_CLASS(Name)                                        \
  class Name : public VMJavaLangReflectMember {                               \
   public:                                                                    \
    static const VMReflectLayout Layout;                                      \
  };
PUX_REFLECT_LAYOUT_CLASS(VMJavaLangReflectField116)
PUX_REFLECT_LAYOUT_CLASS(VMJavaLangReflectField122)
PUX_REFLECT_LAYOUT_CLASS(VMJavaLangReflectMethod116)
PUX_REFLECT_LAYOUT_CLASS(VMJavaLangReflectMethod122)
PUX_REFLECT_LAYOUT_CLASS(VMJavaLangReflectConstructor116)
PUX_REFLECT_LAYOUT_CLASS(VMJavaLangReflectConstructor122)
#undef PUX_REFLECT_LAYOUT_CLASS

/* ---- the selecting classes ---- */

class VMJavaLangReflectField : public VMJavaLangReflectMember {
 public:
  /* Field index of cls's declared-field array. NULL with the exception pending. */
  static VMJavaLangReflectField* CreateInstance(JNIEnv* env, VMLoadableClass* cls, unsigned long index);

  /* The field the object names; NULL for an object that names none. */
  VMDataMember* GetVMDataMember(unsigned long version);
  /* The override word (0 in the 1.1 layout). */
  jint GetAccessibleObject_ACCESS_PERMISSION(unsigned long version);
  VMLoadableClass* GetReflectClass(unsigned long version);
  jint GetSlot(unsigned long version);
  VMJavaLangString* GetName(unsigned long version);
  /* The type of the field it names, from the field's own record. */
  VMClass* GetType(unsigned long version);
  /* The field's modifiers from its record; 0 in the 1.1 layout, as the layout has none. */
  jint GetModifiers(unsigned long version);

  /* ---- value conversions (type codes: boolean 4, char 5, float 6, double 7, byte 8,
     short 9, int 10, long 11; -1 void; 0 a reference) ---- */
  /* The value of a box into out (two words for long and double, copied as integers so
     that every NaN keeps its bits) and its type code; 0 with the object itself in out[0]
     for null and every object that is no box. */
  static uint32_t UnWrap(VMObject* value, VMword* out);
  /* A new box of the type holding the value; NULL for void and for a code that is no
     primitive type (nothing pending), or with the exception pending when the box cannot
     be had (OutOfMemoryError when allocation fails). */
  static VMObject* Wrap(JNIEnv* env, int32_t type, const VMword* value);
  /* Java's widening primitive conversion from one code to another, in place; false (the
     value untouched) when Java allows none. Identity is always allowed. */
  static bool Widen(int32_t from, int32_t to, VMword* value);
  /* The type code of a class: its primitive code, or 0 for every other class. */
  static int32_t TypeCode(VMClass* cls);
};

class VMJavaLangReflectMethod : public VMJavaLangReflectMember {
 public:
  /* A method of cls: index in its declared-method array when declared or cls is an
     interface, else index in its method table (stored negated). Index 0 of a method table
     has no negated form and is never asked for (it is java/lang/Object's <init>, which
     no list shows). NULL with the exception pending. */
  static VMJavaLangReflectMethod* CreateInstance(JNIEnv* env, VMLoadableClass* cls, bool declared,
                                                 unsigned long index);

  /* The method the object names; NULL for an object that names none. */
  VMMethod* GetVMMethod(unsigned long version);
  jint GetAccessibleObject_ACCESS_PERMISSION(unsigned long version);
  VMLoadableClass* GetReflectClass(unsigned long version);
  jint GetSlot(unsigned long version);
  VMJavaLangString* GetName(unsigned long version);
  VMClass* GetReturnType(unsigned long version);
  VMClassArray* GetParameterTypes(unsigned long version);
  VMClassArray* GetExceptionTypes(unsigned long version);
  jint GetModifiers(unsigned long version);
};

class VMJavaLangReflectConstructor : public VMJavaLangReflectMember {
 public:
  /* Constructor index of cls's declared-method array (the declared flag changes
     nothing). NULL with the exception pending. */
  static VMJavaLangReflectConstructor* CreateInstance(JNIEnv* env, VMLoadableClass* cls, bool declared,
                                                      unsigned long index);

  /* The constructor the object names (an <init> of its class); NULL for an object that
     names none. */
  VMMethod* GetVMMethod(unsigned long version);
  jint GetAccessibleObject_ACCESS_PERMISSION(unsigned long version);
  VMLoadableClass* GetReflectClass(unsigned long version);
  jint GetSlot(unsigned long version);
  VMClassArray* GetParameterTypes(unsigned long version);
  VMClassArray* GetExceptionTypes(unsigned long version);
  jint GetModifiers(unsigned long version);
};

/* ---- the class reflection info ----
   The member arrays of a class and the types of a method. Every builder answers NULL
   with an exception pending when it fails (never NULL with nothing pending), and keeps
   what it has made reachable (local references, or inside the rooted result) before it
   allocates again. */
class VMClassReflectInfo {
 public:
  /* which: nonzero the declared view (every member of the class itself), zero the public
     view (public members, inherited ones included). A class that is no class-file class
     gives an empty array. The result is held by a local reference of env's thread. */
  static VMJavaLangReflectMethodArray* GetMethods(JNIEnv* env, VMClass* cls, int32_t which);
  static VMJavaLangReflectFieldArray* GetFields(JNIEnv* env, VMClass* cls, int32_t which);
  static VMJavaLangReflectConstructorArray* GetConstructors(JNIEnv* env, VMClass* cls, int32_t which);

  /* The return type, looked up in the loader of the method's class and cached. */
  static VMClass* GetReturnType(JNIEnv* env, VMMethod* method);
  /* The parameter types, made once on the name space's heap (methods are name-space
     data that every machine of the name space shares) and cached in the method. */
  static VMClassArray* GetParameterTypes(JNIEnv* env, VMMethod* method);
  /* The classes of the method's Exceptions attribute, a new array of env's machine. */
  static VMClassArray* GetExceptionTypes(JNIEnv* env, VMMethod* method);
  /* Walks the fields of the view in order from index; with an array, fills it. The
     index after the last field, or 0xFFFFFFFF with the exception pending. Interfaces
     are not initialised here: GetFields does that before it walks. */
  static uint32_t CollectFields(JNIEnv* env, VMClass* cls, VMJavaLangReflectFieldArray* array, bool declared,
                                uint32_t index);
  /* The public view's interfaces, in the walk's order, initialised: false with the
     exception pending when one fails. */
  static bool InitializeInterfaces(JNIEnv* env, VMClass* cls);
};

#endif
