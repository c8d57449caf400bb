"""Copies of the error test_function raises when its write fails: what they
share with the original, as Python's own errno classes do."""
import copy
import errno
import os
import pickle

import pytest

import vorna

Version = vorna.package.version.Version


def raised_by_write(full):
    """The error of a write to descriptor 1 made a pipe that is full and
    non-blocking (BlockingIOError) or has no reader (BrokenPipeError)."""
    read_end, write_end = os.pipe()
    saved = os.dup(1)
    open_fds = [saved, write_end, read_end]
    try:
        if full:
            os.set_blocking(write_end, False)
            for size in (65536, 1):
                try:
                    while True:
                        os.write(write_end, b"x" * size)
                except BlockingIOError:
                    pass
        else:
            os.close(open_fds.pop())
        os.dup2(write_end, 1)
        with pytest.raises(OSError) as caught:
            vorna.test_function(Version("1.2.3"))
    finally:
        os.dup2(saved, 1)
        for fd in open_fds:
            os.close(fd)
    return caught.value


def pickled(error):
    return pickle.loads(pickle.dumps(error))


def sharing(error, duplicate):
    """What a copy made by `duplicate` shares with `error` once attributes
    (and, from 3.11, notes) are set on both."""
    error.extra = [1]
    error.itself = error
    if hasattr(error, "add_note"):
        error.add_note("on the original")
    duplicated = duplicate(error)
    if hasattr(duplicated, "add_note"):
        duplicated.add_note("on the copy")
    return (duplicated.extra == [1], duplicated.extra is error.extra, duplicated.itself is duplicated,
            duplicated.itself is error, getattr(error, "__notes__", None), getattr(duplicated, "__notes__", None))


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy], ids=lambda f: f.__name__)
def test_copies_share_what_pythons_own_copies_share(duplicate):
    error = raised_by_write(full=False)
    assert isinstance(error, BrokenPipeError)
    own = BrokenPipeError(errno.EPIPE, os.strerror(errno.EPIPE))
    assert sharing(error, duplicate) == sharing(own, duplicate)
    duplicated = duplicate(error)
    assert type(duplicated) is type(error)
    assert (duplicated.errno, duplicated.strerror, duplicated.args, str(duplicated)) == (
        error.errno, error.strerror, error.args, str(error))


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, pickled], ids=lambda f: f.__name__)
def test_blocking_error_without_characters_written_copies_without_it(duplicate):
    error = raised_by_write(full=True)
    assert isinstance(error, BlockingIOError)
    del error.characters_written
    duplicated = duplicate(error)
    assert (duplicated.errno, duplicated.strerror, duplicated.args) == (error.errno, error.strerror, error.args)
    with pytest.raises(AttributeError):
        duplicated.characters_written
