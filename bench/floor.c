/* The floor of a version constructor on this interpreter: the least a call
 * `Floor("1.2.3-rc.1")` can cost and still make an object from the text.
 *
 * The type's vectorcall takes the UTF-8 bytes of a compact ASCII str where
 * they lie, walks them once keeping three numbers (the digits before the
 * first two dots and after them) and allocates one 48-byte object (the size
 * of a version instance without its lists) with the host's small-object
 * allocator.
 *
 * What it leaves out, and a real constructor pays for: any grammar (every
 * byte that is not a digit or one of the first two dots is skipped, nothing
 * is rejected); the pre-release and build lists (neither kept nor copied);
 * overflow of the numbers; str objects that are not compact ASCII; keyword
 * and argument-count rules beyond one positional str; errors with a report;
 * the per-call entry bookkeeping; and a heap type's reference on its class.
 * It is built by bench/bench.py and measured beside vorna; it is not part of
 * vorna.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdint.h>

typedef struct {
    PyObject_HEAD
    uint32_t numbers[3];
    uint32_t spare;
    void *lists;
    int64_t borrow;
} FloorObject;

_Static_assert(sizeof(FloorObject) == 48, "one 48-byte object a call");

static PyTypeObject FloorType;

static PyObject *floor_vectorcall(PyObject *type, PyObject *const *args, size_t nargsf, PyObject *kwnames) {
    if (PyVectorcall_NARGS(nargsf) != 1 || kwnames || !PyUnicode_Check(args[0]) ||
        !PyUnicode_IS_COMPACT_ASCII(args[0])) {
        PyErr_SetString(PyExc_TypeError, "Floor() takes one ASCII str");
        return NULL;
    }
    const unsigned char *p = (const unsigned char *)PyUnicode_DATA(args[0]);
    const unsigned char *end = p + PyUnicode_GET_LENGTH(args[0]);
    uint32_t numbers[4] = {0, 0, 0, 0};
    unsigned k = 0;
    for (; p != end; ++p) {
        const unsigned digit = (unsigned)*p - '0';
        if (digit < 10) {
            numbers[k] = numbers[k] * 10 + digit;
        } else if (*p == '.' && k < 2) {
            ++k;
        } else {
            k = 3; /* past the third number: nothing more is kept */
        }
    }
    FloorObject *self = (FloorObject *)PyObject_Malloc(sizeof(FloorObject));
    if (!self) return PyErr_NoMemory();
    PyObject_Init((PyObject *)self, (PyTypeObject *)type);
    self->numbers[0] = numbers[0];
    self->numbers[1] = numbers[1];
    self->numbers[2] = numbers[2];
    self->spare = 0;
    self->lists = NULL;
    self->borrow = 0;
    return (PyObject *)self;
}

static void floor_dealloc(PyObject *self) { PyObject_Free(self); }

static PyObject *floor_major(PyObject *self, void *closure) {
    (void)closure;
    return PyLong_FromUnsignedLong(((FloorObject *)self)->numbers[0]);
}

static PyGetSetDef floor_getset[] = {{"major", floor_major, NULL, NULL, NULL}, {NULL, NULL, NULL, NULL, NULL}};

static struct PyModuleDef floor_module = {PyModuleDef_HEAD_INIT, "_vorna_floor", NULL, -1, NULL, NULL, NULL, NULL, NULL};

PyMODINIT_FUNC PyInit__vorna_floor(void) {
    FloorType.tp_name = "_vorna_floor.Floor";
    FloorType.tp_basicsize = sizeof(FloorObject);
    FloorType.tp_flags = Py_TPFLAGS_DEFAULT;
    FloorType.tp_dealloc = floor_dealloc;
    FloorType.tp_getset = floor_getset;
    if (PyType_Ready(&FloorType) < 0) return NULL;
    FloorType.tp_vectorcall = floor_vectorcall;
    PyObject *module = PyModule_Create(&floor_module);
    if (!module) return NULL;
    Py_INCREF(&FloorType);
    if (PyModule_AddObject(module, "Floor", (PyObject *)&FloorType) < 0) {
        Py_DECREF(&FloorType);
        Py_DECREF(module);
        return NULL;
    }
    return module;
}
